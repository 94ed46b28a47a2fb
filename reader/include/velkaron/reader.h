/* Velkaron packet reader: the C interface, for C programs and for any language with a
 * foreign-function interface (C#, Python's ctypes, Lua). Plain C types and opaque
 * handles only; every function returns a status, and on failure the calling thread's
 * vkr_last_message() says why in a sentence. No exception leaves the library.
 *
 * A packet is checked whole when it is opened, by the same rules the command line's
 * verify uses; afterwards its entries are read by number (index order) or by their
 * stored path. Every call on an open packet only reads, so several threads may use one
 * packet at once; a stream belongs to one thread at a time.
 *
 * Paths are the stored bytes: components joined by backslashes, names in the code page
 * of the system that made the packet (GBK, code page 936, for Simplified Chinese
 * Windows); vkr_gbk_to_utf8 and vkr_utf8_to_gbk convert them. File paths given to
 * vkr_open are in the system's ANSI code page on Windows, in the file system's bytes
 * elsewhere. */
#ifndef VELKARON_READER_H
#define VELKARON_READER_H

#include <stddef.h>
#include <stdint.h>

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
    VKR_E_ARGUMENT = 2,     /* a null pointer, an index past the count, a folder where a file is needed */
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

/* Flags of vkr_open, or-ed together. */
#define VKR_OPEN_MAP 1u /* also map the whole packet, for zero-copy views (vkr_view); reads still go
                           through the system, so that a packet cut short gives VKR_E_IO */
#define VKR_OPEN_GBK 2u /* names are GBK whatever the system's code page: a trail byte 5C is no
                           separator, and every lead byte must have its trail byte */

#define VKR_KIND_FOLDER 0
#define VKR_KIND_FILE 1

typedef struct vkr_packet vkr_packet; /* an open, checked packet */
typedef struct vkr_stream vkr_stream; /* one file's content, read front to back */

/* One index line. */
typedef struct vkr_entry {
    size_t index;       /* its place in the index, from 0 */
    int kind;           /* VKR_KIND_FOLDER or VKR_KIND_FILE */
    int64_t offset;     /* packet offset of its content (of the next file's, for a folder) */
    int64_t length;     /* bytes of content; 0 for a folder */
    size_t path_length; /* bytes of its stored path, without a terminating NUL */
} vkr_entry;

/* The calling thread's explanation of its last failed call, in English; "" when none
 * failed yet. Valid until that thread's next call into the library. Never fails. */
VKR_API const char* vkr_last_message(void);
/* A fixed English name of `status`, e.g. "not found". Never fails. */
VKR_API const char* vkr_status_text(vkr_status status);
/* The library's version as "major.minor.patch.tweak". Never fails. */
VKR_API const char* vkr_version(void);

/* Opens the packet at `path` and checks it whole: header, size, every index line, the
 * order of the lines, no path twice. `flags`: VKR_OPEN_MAP, VKR_OPEN_GBK. Other
 * programs may read, write, rename or delete the file while it is open (on Windows
 * too); a read of what is gone meanwhile is VKR_E_IO. On success
 * *packet is set and must be given to vkr_close. Fails with VKR_E_OPEN, VKR_E_INVALID
 * (the first broken rule and its line in the message), VKR_E_IO, VKR_E_MAP,
 * VKR_E_MEMORY, or VKR_E_ARGUMENT for a null pointer; *packet is then NULL. */
VKR_API vkr_status vkr_open(const char* path, unsigned flags, vkr_packet** packet);
/* Closes the packet and frees everything of it; its streams and views must be done
 * with. NULL is ignored. */
VKR_API void vkr_close(vkr_packet* packet);

/* The number of index lines (folders and files) in *count. VKR_E_ARGUMENT for a null pointer. */
VKR_API vkr_status vkr_count(const vkr_packet* packet, size_t* count);
/* Line `index` (from 0, in index order) in *entry. VKR_E_ARGUMENT past the count. */
VKR_API vkr_status vkr_entry_at(const vkr_packet* packet, size_t index, vkr_entry* entry);
/* The stored path of line `index` into `buffer` with a terminating NUL; *length (when
 * not NULL) gets its length without the NUL. A NULL buffer asks for the length alone.
 * VKR_E_BUFFER, *length still set, when `capacity` is not more than that length;
 * VKR_E_IO when it cannot be read. */
VKR_API vkr_status vkr_entry_path(const vkr_packet* packet, size_t index, char* buffer, size_t capacity,
                                  size_t* length);
/* The line whose stored path is exactly `path` (a NUL-terminated byte string, backslash
 * separators, no leading or trailing one), found in constant time on average.
 * VKR_NOT_FOUND when the packet has none; VKR_E_IO when it cannot be read. */
VKR_API vkr_status vkr_find(const vkr_packet* packet, const char* path, vkr_entry* entry);

/* Reads up to `size` bytes of file `index`'s content from byte `offset` of it into
 * `buffer`; *got is the count read, less than `size` only at the file's end (0 at or
 * past it). Any size may be asked (SIZE_MAX: the rest of the file). The whole file:
 * offset 0, size entry.length. VKR_E_ARGUMENT for a folder, a negative offset or an
 * index past the count; VKR_E_IO, *got 0, when the packet cannot be read or has
 * become shorter, mapped or not. */
VKR_API vkr_status vkr_read(const vkr_packet* packet, size_t index, int64_t offset, void* buffer, size_t size,
                            size_t* got);
/* File `index`'s content in place, without a copy: *data points at entry.length bytes
 * inside the mapped packet, valid until vkr_close (NULL for an empty file).
 * VKR_E_NOT_MAPPED unless the packet was opened with VKR_OPEN_MAP; VKR_E_ARGUMENT for
 * a folder. The one call that does not guard against a packet cut short by another
 * program meanwhile: its bytes past the new end read as zeros to the end of their
 * page of memory and, beyond, raise SIGBUS on POSIX or an in-page error exception on
 * Windows. A program that fears that reads with vkr_read (VKR_E_IO instead). */
VKR_API vkr_status vkr_view(const vkr_packet* packet, size_t index, const void** data, size_t* length);

/* Starts reading file `index`'s content front to back; *stream must be given to
 * vkr_stream_close before the packet is closed. VKR_E_ARGUMENT for a folder. */
VKR_API vkr_status vkr_stream_open(const vkr_packet* packet, size_t index, vkr_stream** stream);
/* Reads the next up to `size` bytes of the stream (any size; SIZE_MAX: the rest);
 * *got is 0 at the end. VKR_E_IO, *got 0 and the stream where it was, when the packet
 * cannot be read or has become shorter. */
VKR_API vkr_status vkr_stream_read(vkr_stream* stream, void* buffer, size_t size, size_t* got);
/* Frees the stream. NULL is ignored. */
VKR_API void vkr_stream_close(vkr_stream* stream);

/* Converts `size` bytes of GBK text (a stored name, say) to UTF-8, and back. The result
 * goes to `buffer` with a terminating NUL; *length (when not NULL) gets its length
 * without the NUL. A NULL buffer asks for the length alone. VKR_E_BUFFER, *length
 * still set, when `capacity` is not more than that; VKR_E_ENCODING, naming the offset
 * of the first byte that cannot be converted, for ill-formed input or a character the
 * other encoding lacks. */
VKR_API vkr_status vkr_gbk_to_utf8(const char* text, size_t size, char* buffer, size_t capacity, size_t* length);
VKR_API vkr_status vkr_utf8_to_gbk(const char* text, size_t size, char* buffer, size_t capacity, size_t* length);

#ifdef __cplusplus
}
#endif

#endif /* VELKARON_READER_H */
