/* Velkaron packet reader: the C interface, for C programs and for any language with a
 * foreign-function interface (C#, Python's ctypes, Lua). Plain C types and opaque
 * handles only; every function returns a status, and on failure the calling thread's
 * vkr_last_message() says why in a sentence. No exception leaves the library.
 *
 * A packet is checked whole when it is opened, by the same rules the command line's
 * verify uses; afterwards its entries (index lines, folders and files) are read by
 * number (index order, from 0), by path, or folder by folder. Every call on an open
 * packet only reads, so several threads may use one packet at once; a stream belongs
 * to one thread at a time. A lookup or a listing makes no system call: the index's
 * paths are kept in memory, compactly.
 *
 * Stored paths are components joined by backslashes, names in the code page of the
 * system that made the packet (GBK, code page 936, for Simplified Chinese Windows);
 * vkr_gbk_to_utf8 and vkr_utf8_to_gbk convert them. Paths given to vkr_find are taken
 * as programs write them (see there). File paths given to vkr_open are in the system's
 * ANSI code page on Windows (UTF-8 with VKR_OPEN_UTF8_PATH), the file system's bytes
 * elsewhere.
 *
 * Entries are reached through functions (vkr_entry_kind, vkr_entry_length, ...), so
 * that later versions can tell more without changing what a program built against this
 * one sees; the struct vkr_entry stays as it is for the calls that fill it.
 *
 * Every function, and every function of vkr_io the library calls, uses the C calling
 * convention, cdecl, which matters on 32-bit Windows alone: C# declares the functions
 * with [DllImport(..., CallingConvention = CallingConvention.Cdecl)] and the delegates
 * it gives as vkr_io's read_at and close with
 * [UnmanagedFunctionPointer(CallingConvention.Cdecl)] (its default, stdcall, corrupts
 * the stack there); Python's ctypes loads the library with CDLL, not WinDLL, and makes
 * the callbacks with CFUNCTYPE. */
#ifndef VELKARON_READER_H
#define VELKARON_READER_H

#include <stddef.h>
#include <stdint.h>

#include "velkaron/reader_version.h" /* VKR_VERSION_MAJOR, _MINOR, _PATCH, _STRING */

#if defined(VKR_BUILDING_SHARED)
#if defined(_WIN32)
#define VKR_API __declspec(dllexport)
#else
#define VKR_API __attribute__((visibility("default")))
#endif
#else
#define VKR_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef enum vkr_status {
    VKR_OK = 0,
    VKR_NOT_FOUND = 1,      /* no entry has that path */
    VKR_E_ARGUMENT = 2,     /* a null pointer, an index past the count, a folder where a file is needed, an unknown flag */
    VKR_E_OPEN = 3,         /* the file is missing, no plain file, or may not be read */
    VKR_E_INVALID = 4,      /* the file breaks a rule of the packet format (the message names it and its line) */
    VKR_E_IO = 5,           /* a read failed, or the file has become shorter since it was opened */
    VKR_E_BUFFER = 6,       /* the caller's buffer is too small; the size needed was returned */
    VKR_E_ENCODING = 7,     /* a text is not well formed in its encoding, or the other lacks a character */
    VKR_E_MAP = 8,          /* the system cannot map the packet (on a 32-bit system, no room for it) */
    VKR_E_NOT_MAPPED = 9,   /* a view was asked of a packet opened without VKR_OPEN_MAP */
    VKR_E_MEMORY = 10,      /* out of memory */
    VKR_E_INTERNAL = 11     /* anything else that went wrong inside the library */
} vkr_status;

/* Flags of vkr_open, vkr_open_memory and vkr_open_io, or-ed together. */
#define VKR_OPEN_MAP 1u /* vkr_open: also map the whole packet, for zero-copy views (vkr_view);
                           reads still go through the system, so that a packet cut short
                           gives VKR_E_IO */
#define VKR_OPEN_GBK 2u /* names are GBK whatever the system's code page: a trail byte 5C is no
                           separator, and every lead byte must have its trail byte */
#define VKR_OPEN_NOCASE 4u /* vkr_find and vkr_find_index ignore the case of letters, as Windows
                              compares file names: ASCII and, in GBK names, the fullwidth Latin,
                              Greek and Cyrillic letters and Roman numerals; on Windows every
                              letter of the system's code page. A packet holding two paths that
                              are one when case is ignored is refused (VKR_E_INVALID). */
#define VKR_OPEN_UTF8_PATH 8u /* vkr_open: the file path is UTF-8 (on Windows through the
                                 wide API; elsewhere the bytes are used as they are) */

#define VKR_KIND_FOLDER 0
#define VKR_KIND_FILE 1

/* The folder that holds the top-level entries, for vkr_children and vkr_parent. */
#define VKR_ROOT ((size_t)-1)

typedef struct vkr_packet vkr_packet; /* an open, checked packet */
typedef struct vkr_stream vkr_stream; /* one file's content, read in order or from where it is sought */

/* One index line, as vkr_entry_at and vkr_find fill it. Kept as it is: what later
 * versions add comes through functions of their own. */
typedef struct vkr_entry {
    size_t index;       /* its place in the index, from 0 */
    int kind;           /* VKR_KIND_FOLDER or VKR_KIND_FILE */
    int64_t offset;     /* packet offset of its content (of the next file's, for a folder) */
    int64_t length;     /* bytes of content; 0 for a folder */
    size_t path_length; /* bytes of its stored path, without a terminating NUL */
} vkr_entry;

/* A packet read through the program's own functions (an archive inside another, an
 * asset manager). `size` is the packet's length in bytes. `read_at` reads up to `size`
 * bytes at `offset` into `buffer`, setting *got (0 only at the end) and returning VKR_OK;
 * any other status is a failed read (VKR_E_IO to the caller). The library never calls
 * it from two threads at once. `close` (may be NULL) is called exactly once, when the
 * packet is closed or its opening fails. */
typedef struct vkr_io {
    void* context;
    int64_t size;
    vkr_status (*read_at)(void* context, int64_t offset, void* buffer, size_t size, size_t* got);
    void (*close)(void* context);
} vkr_io;

/* The calling thread's explanation of its last failed call, in English; "" when none
 * failed yet. Valid until that thread's next call into the library. Never fails. */
VKR_API const char* vkr_last_message(void);
/* A fixed English name of `status`, e.g. "not found". Never fails. */
VKR_API const char* vkr_status_text(vkr_status status);
/* The library's version as "major.minor.patch.tweak" (VKR_VERSION_STRING of the
 * library itself, which a program may compare with the headers'). Never fails. */
VKR_API const char* vkr_version(void);

/* Opens the packet at `path` and checks it whole: header, size, every index line, the
 * order of the lines, no path twice. `flags`: VKR_OPEN_MAP, VKR_OPEN_GBK,
 * VKR_OPEN_NOCASE, VKR_OPEN_UTF8_PATH. Other programs may read, write, rename or delete
 * the file while it is open (on Windows too); a read of what is gone meanwhile is
 * VKR_E_IO. On success *packet is set and must be given to vkr_close. Fails with
 * VKR_E_OPEN, VKR_E_INVALID (the first broken rule and its line in the message),
 * VKR_E_IO, VKR_E_MAP, VKR_E_MEMORY, VKR_E_ENCODING for a VKR_OPEN_UTF8_PATH path that
 * is not UTF-8, or VKR_E_ARGUMENT for a null pointer or an unknown flag; *packet is
 * then NULL. */
VKR_API vkr_status vkr_open(const char* path, unsigned flags, vkr_packet** packet);
/* Opens and checks the packet in the `size` bytes at `data`, which the caller keeps
 * alive and unchanged until vkr_close; vkr_view works on it, opened with VKR_OPEN_MAP
 * or not. `flags`: VKR_OPEN_MAP (no effect), VKR_OPEN_GBK, VKR_OPEN_NOCASE. Fails as
 * vkr_open does (VKR_E_ARGUMENT for NULL data of a non-zero size). */
VKR_API vkr_status vkr_open_memory(const void* data, size_t size, unsigned flags, vkr_packet** packet);
/* Opens and checks the packet that `io` reads (the struct is copied; its functions and
 * context must last until vkr_close). `flags`: VKR_OPEN_GBK, VKR_OPEN_NOCASE. Fails as
 * vkr_open does; VKR_E_ARGUMENT for a NULL `io`, `read_at` or `packet`, a negative size
 * or another flag. io->close is called once the packet is closed, or before this
 * returns a failure. */
VKR_API vkr_status vkr_open_io(const vkr_io* io, unsigned flags, vkr_packet** packet);
/* Closes the packet and frees everything of it; its streams and views must be done
 * with. NULL is ignored. */
VKR_API void vkr_close(vkr_packet* packet);

/* The number of index lines (folders and files) in *count. VKR_E_ARGUMENT for a null pointer. */
VKR_API vkr_status vkr_count(const vkr_packet* packet, size_t* count);
/* Line `index` (from 0, in index order) in *entry. VKR_E_ARGUMENT past the count. */
VKR_API vkr_status vkr_entry_at(const vkr_packet* packet, size_t index, vkr_entry* entry);
/* Entry `index`'s kind (VKR_KIND_FOLDER or VKR_KIND_FILE), its content's length in bytes
 * (0 for a folder), and the packet offset of its content (of the next file's for a
 * folder). VKR_E_ARGUMENT for a null pointer or an index past the count. */
VKR_API vkr_status vkr_entry_kind(const vkr_packet* packet, size_t index, int* kind);
VKR_API vkr_status vkr_entry_length(const vkr_packet* packet, size_t index, int64_t* length);
VKR_API vkr_status vkr_entry_offset(const vkr_packet* packet, size_t index, int64_t* offset);
/* The stored path of line `index` into `buffer` with a terminating NUL; *length (when
 * not NULL) gets its length without the NUL. A NULL buffer asks for the length alone.
 * VKR_E_BUFFER, *length still set, when `capacity` is not more than that length;
 * VKR_E_ARGUMENT past the count. */
VKR_API vkr_status vkr_entry_path(const vkr_packet* packet, size_t index, char* buffer, size_t capacity,
                                  size_t* length);

/* The entry at `path` (a NUL-terminated byte string) in constant time on average, its
 * index in *index. The path is taken as programs write it: "/" and "\" both separate
 * names (a trail byte 5C of a double-byte character never does, in a GBK packet or
 * under a double-byte code page), a leading "./" or "/", a trailing separator, doubled
 * separators and "." components do not count; folders are found as well as files.
 * With VKR_OPEN_NOCASE the case of letters does not count either. VKR_NOT_FOUND when
 * the packet has no such entry (the empty path names none); VKR_E_ARGUMENT for a null
 * pointer. */
VKR_API vkr_status vkr_find_index(const vkr_packet* packet, const char* path, size_t* index);
/* The same, with the entry's line in *entry. */
VKR_API vkr_status vkr_find(const vkr_packet* packet, const char* path, vkr_entry* entry);
/* Splits a path as vkr_find reads it: the next name of `path` at or after byte *start,
 * separators skipped, its first byte in *start and its length in *length. VKR_NOT_FOUND,
 * *start at the end and *length 0, when no name is left; VKR_E_ARGUMENT for a null
 * pointer. The packet tells how double-byte characters are told apart. To walk a path:
 *   size_t at = 0, n; while (vkr_path_next(p, path, &at, &n) == VKR_OK) { ...; at += n; } */
VKR_API vkr_status vkr_path_next(const vkr_packet* packet, const char* path, size_t* start, size_t* length);

/* The direct entries of folder `folder` (an index, or VKR_ROOT for the top level) in
 * index order: their indices into `indices`, their number in *count, in time
 * proportional to that number. A NULL `indices` asks for the number alone. VKR_E_BUFFER,
 * *count still set, when `capacity` is less than it; VKR_E_ARGUMENT for a file, an
 * index past the count or a null `count`. */
VKR_API vkr_status vkr_children(const vkr_packet* packet, size_t folder, size_t* indices, size_t capacity,
                                size_t* count);
/* The folder that holds entry `index` in *parent, VKR_ROOT for a top-level entry.
 * VKR_E_ARGUMENT past the count or for a null pointer. */
VKR_API vkr_status vkr_parent(const vkr_packet* packet, size_t index, size_t* parent);

/* Reads up to `size` bytes of file `index`'s content from byte `offset` of it into
 * `buffer`; *got is the count read, less than `size` only at the file's end (0 at or
 * past it). Any size may be asked (SIZE_MAX: the rest of the file). The whole file:
 * offset 0, size of vkr_entry_length. VKR_E_ARGUMENT for a folder, a negative offset or
 * an index past the count; VKR_E_IO, *got 0, when the packet cannot be read or has
 * become shorter, mapped or not. */
VKR_API vkr_status vkr_read(const vkr_packet* packet, size_t index, int64_t offset, void* buffer, size_t size,
                            size_t* got);
/* File `index`'s content in place, without a copy: *data points at its bytes inside the
 * mapped packet (or the memory of vkr_open_memory), valid until vkr_close (NULL for an
 * empty file). VKR_E_NOT_MAPPED for a file packet opened without VKR_OPEN_MAP or one
 * read through vkr_io; VKR_E_ARGUMENT for a folder. The one call that does not guard
 * against a packet file cut short by another program meanwhile: its bytes past the new
 * end read as zeros to the end of their page of memory and, beyond, raise SIGBUS on
 * POSIX or an in-page error exception on Windows. A program that fears that reads with
 * vkr_read (VKR_E_IO instead). */
VKR_API vkr_status vkr_view(const vkr_packet* packet, size_t index, const void** data, size_t* length);

/* Starts reading file `index`'s content from its first byte; *stream must be given to
 * vkr_stream_close before the packet is closed. VKR_E_ARGUMENT for a folder. */
VKR_API vkr_status vkr_stream_open(const vkr_packet* packet, size_t index, vkr_stream** stream);
/* Reads the next up to `size` bytes of the stream (any size; SIZE_MAX: the rest);
 * *got is 0 at the end. VKR_E_IO, *got 0 and the stream where it was, when the packet
 * cannot be read or has become shorter. */
VKR_API vkr_status vkr_stream_read(vkr_stream* stream, void* buffer, size_t size, size_t* got);
/* Moves the stream to byte `offset` from the file's start (past the end is allowed:
 * reads there give 0 bytes). VKR_E_ARGUMENT for a negative offset or a null stream. */
VKR_API vkr_status vkr_stream_seek(vkr_stream* stream, int64_t offset);
/* The stream's place, from the file's start, in *offset. VKR_E_ARGUMENT for a null pointer. */
VKR_API vkr_status vkr_stream_tell(const vkr_stream* stream, int64_t* offset);
/* Frees the stream. NULL is ignored. */
VKR_API void vkr_stream_close(vkr_stream* stream);

/* Converts `size` bytes of GBK text (a stored name, say) to UTF-8, and back, as Windows'
 * code page 936 converts them, by the library's own table, the same on every system:
 * every double-byte code (the user-defined areas AAA1-AFFE, F8A1-FEFE and A140-A7A0 to
 * the private-use characters from U+E000 that Windows gives them), 80 to the euro sign,
 * FF refused; UTF-8 to GBK exactly the inverse. The result goes to `buffer` with a
 * terminating NUL; *length (when not NULL) gets its length without the NUL. A NULL
 * buffer asks for the length alone. VKR_E_BUFFER, *length still set, when `capacity`
 * is not more than that; VKR_E_ENCODING, naming the offset of the first byte that
 * cannot be converted, for ill-formed input or a character the other encoding lacks. */
VKR_API vkr_status vkr_gbk_to_utf8(const char* text, size_t size, char* buffer, size_t capacity, size_t* length);
VKR_API vkr_status vkr_utf8_to_gbk(const char* text, size_t size, char* buffer, size_t capacity, size_t* length);

#ifdef __cplusplus
}
#endif

#endif /* VELKARON_READER_H */
