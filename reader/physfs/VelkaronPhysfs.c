/* The PhysFS archiver for Velkaron packets, over the reader library's C interface: a
 * mounted packet is read through the PHYSFS_Io PhysFS hands over (vkr_open_io, which
 * never calls it from two threads at once), its folders listed with vkr_children, its
 * files read as seeking streams. A packet's names are GBK or UTF-8 as a whole (decided
 * when it is mounted, or as the program said at registration); a name PhysFS cannot be
 * given is left out of listings. Read-only: every writing call fails with
 * PHYSFS_ERR_READ_ONLY. */
#include <physfs.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "velkaron/physfs.h"
#include "velkaron/reader.h"

typedef struct Archive {
    PHYSFS_Io* io; /* the packet's bytes, PhysFS's until the archive is mounted, then ours */
    vkr_packet* packet;
    int gbk; /* opened with VKR_OPEN_GBK: names shown to PhysFS and taken from it in UTF-8 */
} Archive;

typedef struct FileReader {
    vkr_packet* packet;
    size_t index;
    int64_t length;
    vkr_stream* stream;
} FileReader;

static const char kMagic[] = "Velkaron.Packet ";

static vkr_status ReadAt(void* context, int64_t offset, void* buffer, size_t size, size_t* got) {
    PHYSFS_Io* io = (PHYSFS_Io*)context;
    PHYSFS_sint64 n;
    *got = 0;
    if (!io->seek(io, (PHYSFS_uint64)offset)) return VKR_E_IO;
    n = io->read(io, buffer, (PHYSFS_uint64)size);
    if (n < 0) return VKR_E_IO;
    *got = (size_t)n;
    return VKR_OK;
}

static PHYSFS_ErrorCode ErrorOf(vkr_status status) {
    switch (status) {
        case VKR_NOT_FOUND: return PHYSFS_ERR_NOT_FOUND;
        case VKR_E_INVALID: return PHYSFS_ERR_CORRUPT;
        case VKR_E_IO: return PHYSFS_ERR_IO;
        case VKR_E_MEMORY: return PHYSFS_ERR_OUT_OF_MEMORY;
        default: return PHYSFS_ERR_OTHER_ERROR;
    }
}

/* True when the `size` bytes at `p` are well-formed UTF-8: no stray or missing
 * continuation byte, overlong form, surrogate or code past U+10FFFF. */
static int IsUtf8(const unsigned char* p, size_t size) {
    size_t i = 0, k, more;
    while (i < size) {
        const unsigned c = p[i];
        unsigned long code;
        more = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : 4;
        if (more == 4 || more >= size - i) return 0;
        code = more == 0 ? c : c & (0x3Fu >> more);
        for (k = 1; k <= more; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return 0;
            code = code << 6 | (p[i + k] & 0x3Fu);
        }
        if ((more == 2 && (code < 0x800 || (code >= 0xD800 && code <= 0xDFFF))) ||
            (more == 3 && (code < 0x10000 || code > 0x10FFFF))) {
            return 0;
        }
        i += more + 1;
    }
    return 1;
}

/* `size` bytes at `text` converted by `convert` into *out, a buffer of the caller's to
 * free: VKR_OK, or the converter's status (VKR_E_ENCODING for a text it cannot
 * convert) or VKR_E_MEMORY, *out NULL. */
static vkr_status Converted(vkr_status (*convert)(const char*, size_t, char*, size_t, size_t*), const char* text,
                            size_t size, char** out) {
    size_t length = 0;
    vkr_status status = convert(text, size, NULL, 0, &length);
    *out = NULL;
    if (status != VKR_OK) return status;
    *out = (char*)malloc(length + 1);
    if (*out == NULL) return VKR_E_MEMORY;
    status = convert(text, size, *out, length + 1, &length);
    if (status != VKR_OK) {
        free(*out);
        *out = NULL;
    }
    return status;
}

/* The `size` bytes at `text` as a string in *out, a buffer of the caller's to free:
 * VKR_OK, or VKR_E_MEMORY with *out NULL. */
static vkr_status Copied(const char* text, size_t size, char** out) {
    *out = (char*)malloc(size + 1);
    if (*out == NULL) return VKR_E_MEMORY;
    memcpy(*out, text, size);
    (*out)[size] = '\0';
    return VKR_OK;
}

/* The stored path of entry `index` in *path, a buffer of the caller's to free, its
 * length in *size: VKR_OK, or the reader's status with *path NULL. */
static vkr_status PathOf(const vkr_packet* packet, size_t index, char** path, size_t* size) {
    vkr_status status = vkr_entry_path(packet, index, NULL, 0, size);
    *path = NULL;
    if (status != VKR_OK) return status;
    *path = (char*)malloc(*size + 1);
    if (*path == NULL) return VKR_E_MEMORY;
    status = vkr_entry_path(packet, index, *path, *size + 1, size);
    if (status != VKR_OK) {
        free(*path);
        *path = NULL;
    }
    return status;
}

static vkr_packet* OpenPacket(PHYSFS_Io* io, unsigned flags, vkr_status* status) {
    vkr_io source;
    vkr_packet* packet = NULL;
    source.context = io;
    source.size = io->length(io);
    source.read_at = ReadAt;
    source.close = NULL; /* PhysFS destroys the Io when the mount fails, closeArchive when it goes */
    *status = vkr_open_io(&source, flags, &packet);
    return packet;
}

/* Claims a file that begins as a packet does and opens it, its names read as `names`
 * says (VKR_PHYSFS_NAMES_...): GBK, as the format has it, wherever the reader takes
 * every name for GBK (VKR_OPEN_GBK opens the packet); else as they are stored, where
 * the program did not insist on GBK. NULL with PhysFS's error set when it cannot be. */
static void* OpenArchive(PHYSFS_Io* io, int forWrite, int* claimed, int names) {
    char head[sizeof kMagic - 1];
    Archive* archive;
    vkr_status status = VKR_E_INVALID;
    *claimed = 0;
    if (io->length(io) < 64 || !io->seek(io, 0) || io->read(io, head, sizeof head) != (PHYSFS_sint64)sizeof head ||
        memcmp(head, kMagic, sizeof head) != 0) {
        return NULL; /* not a packet: another archiver may take it */
    }
    *claimed = 1;
    if (forWrite) {
        PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
        return NULL;
    }
    archive = (Archive*)calloc(1, sizeof *archive);
    if (archive == NULL) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return NULL;
    }
    if (names != VKR_PHYSFS_NAMES_UTF8) archive->packet = OpenPacket(io, VKR_OPEN_GBK, &status);
    archive->gbk = archive->packet != NULL;
    if (archive->packet == NULL && names != VKR_PHYSFS_NAMES_GBK && status == VKR_E_INVALID) {
        archive->packet = OpenPacket(io, 0, &status);
    }
    if (archive->packet == NULL) {
        PHYSFS_setErrorCode(ErrorOf(status));
        free(archive);
        return NULL;
    }
    archive->io = io;
    return archive;
}

static void* OpenDetected(PHYSFS_Io* io, const char* name, int forWrite, int* claimed) {
    (void)name;
    return OpenArchive(io, forWrite, claimed, VKR_PHYSFS_NAMES_DETECT);
}

static void* OpenGbk(PHYSFS_Io* io, const char* name, int forWrite, int* claimed) {
    (void)name;
    return OpenArchive(io, forWrite, claimed, VKR_PHYSFS_NAMES_GBK);
}

static void* OpenUtf8(PHYSFS_Io* io, const char* name, int forWrite, int* claimed) {
    (void)name;
    return OpenArchive(io, forWrite, claimed, VKR_PHYSFS_NAMES_UTF8);
}

/* The entry at PhysFS's `path` ("" is the top level, VKR_ROOT); 0 with PhysFS's error set when none. */
static int Find(const Archive* archive, const char* path, size_t* index) {
    vkr_status status = VKR_OK;
    char* gbk = NULL;
    if (*path == '\0') {
        *index = VKR_ROOT;
        return 1;
    }
    if (archive->gbk) status = Converted(vkr_utf8_to_gbk, path, strlen(path), &gbk);
    if (status == VKR_E_ENCODING) status = VKR_NOT_FOUND; /* a name no GBK packet can hold */
    if (status == VKR_OK) status = vkr_find_index(archive->packet, gbk != NULL ? gbk : path, index);
    free(gbk);
    if (status != VKR_OK) PHYSFS_setErrorCode(ErrorOf(status));
    return status == VKR_OK;
}

/* The last name of entry `index`'s stored path as PhysFS is given it, in *name, a
 * buffer of the caller's to free: VKR_OK; VKR_E_ENCODING when PhysFS cannot be given
 * it (a GBK name without a UTF-8 form, a name as stored that is not UTF-8, a name
 * holding ":", which no PhysFS path may); another status when the reader or memory
 * fails. *name is NULL but on VKR_OK. */
static vkr_status NameOf(const Archive* archive, size_t index, char** name) {
    size_t size = 0, start = 0, length = 0, last = 0, lastLength = 0;
    char* path = NULL;
    vkr_status status = PathOf(archive->packet, index, &path, &size);
    *name = NULL;
    if (status != VKR_OK) return status;
    while (vkr_path_next(archive->packet, path, &start, &length) == VKR_OK) {
        last = start;
        lastLength = length;
        start += length;
    }
    if (archive->gbk) {
        status = Converted(vkr_gbk_to_utf8, path + last, lastLength, name);
    } else {
        status = IsUtf8((const unsigned char*)path + last, lastLength) ? Copied(path + last, lastLength, name)
                                                                        : VKR_E_ENCODING;
    }
    free(path);
    if (status == VKR_OK && strchr(*name, ':') != NULL) {
        free(*name);
        *name = NULL;
        status = VKR_E_ENCODING;
    }
    return status;
}

static PHYSFS_EnumerateCallbackResult Enumerate(void* opaque, const char* dirname, PHYSFS_EnumerateCallback cb,
                                                const char* origdir, void* callbackdata) {
    const Archive* archive = (const Archive*)opaque;
    PHYSFS_EnumerateCallbackResult result = PHYSFS_ENUM_OK;
    size_t folder = 0, count = 0, i;
    size_t* children;
    int kind = VKR_KIND_FOLDER;
    vkr_status status;
    if (!Find(archive, dirname, &folder)) return PHYSFS_ENUM_ERROR;
    if (folder != VKR_ROOT && vkr_entry_kind(archive->packet, folder, &kind) == VKR_OK && kind == VKR_KIND_FILE) {
        return PHYSFS_ENUM_OK; /* a file holds nothing, as in a zip */
    }
    status = vkr_children(archive->packet, folder, NULL, 0, &count);
    children = status == VKR_OK ? (size_t*)malloc((count > 0 ? count : 1) * sizeof *children) : NULL;
    if (status == VKR_OK && children == NULL) status = VKR_E_MEMORY;
    if (status == VKR_OK) status = vkr_children(archive->packet, folder, children, count, &count);
    if (status != VKR_OK) {
        free(children);
        PHYSFS_setErrorCode(ErrorOf(status));
        return PHYSFS_ENUM_ERROR;
    }
    for (i = 0; i < count && result == PHYSFS_ENUM_OK; ++i) {
        char* name = NULL;
        status = NameOf(archive, children[i], &name);
        if (status == VKR_E_ENCODING) continue; /* left out: PhysFS could not be given it */
        if (status != VKR_OK) {
            PHYSFS_setErrorCode(ErrorOf(status));
            result = PHYSFS_ENUM_ERROR;
            break;
        }
        result = cb(callbackdata, origdir, name);
        free(name);
        if (result == PHYSFS_ENUM_ERROR) PHYSFS_setErrorCode(PHYSFS_ERR_APP_CALLBACK);
    }
    free(children);
    return result;
}

static PHYSFS_sint64 FileRead(PHYSFS_Io* io, void* buffer, PHYSFS_uint64 size) {
    FileReader* file = (FileReader*)io->opaque;
    size_t got = 0;
    const size_t want = size > (PHYSFS_uint64)SIZE_MAX ? SIZE_MAX : (size_t)size;
    if (vkr_stream_read(file->stream, buffer, want, &got) != VKR_OK) {
        PHYSFS_setErrorCode(PHYSFS_ERR_IO);
        return -1;
    }
    return (PHYSFS_sint64)got;
}

static PHYSFS_sint64 FileWrite(PHYSFS_Io* io, const void* buffer, PHYSFS_uint64 size) {
    (void)io;
    (void)buffer;
    (void)size;
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return -1;
}

static int FileSeek(PHYSFS_Io* io, PHYSFS_uint64 offset) {
    FileReader* file = (FileReader*)io->opaque;
    if (offset > (PHYSFS_uint64)file->length) {
        PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF);
        return 0;
    }
    return vkr_stream_seek(file->stream, (int64_t)offset) == VKR_OK;
}

static PHYSFS_sint64 FileTell(PHYSFS_Io* io) {
    int64_t at = -1;
    vkr_stream_tell(((FileReader*)io->opaque)->stream, &at);
    return at;
}

static PHYSFS_sint64 FileLength(PHYSFS_Io* io) { return ((FileReader*)io->opaque)->length; }

static int FileFlush(PHYSFS_Io* io) {
    (void)io;
    return 1;
}

static void FileDestroy(PHYSFS_Io* io) {
    FileReader* file = (FileReader*)io->opaque;
    vkr_stream_close(file->stream);
    free(file);
    free(io);
}

static PHYSFS_Io* FileDuplicate(PHYSFS_Io* io);

/* A stream of file `index` at `position`, as PhysFS reads files; NULL with its error set when it cannot be. */
static PHYSFS_Io* NewFileIo(vkr_packet* packet, size_t index, int64_t position) {
    PHYSFS_Io* io = (PHYSFS_Io*)malloc(sizeof *io);
    FileReader* file = (FileReader*)calloc(1, sizeof *file);
    vkr_status status = io == NULL || file == NULL ? VKR_E_MEMORY : vkr_stream_open(packet, index, &file->stream);
    if (status == VKR_OK) status = vkr_entry_length(packet, index, &file->length);
    if (status == VKR_OK) status = vkr_stream_seek(file->stream, position);
    if (status != VKR_OK) {
        if (file != NULL) vkr_stream_close(file->stream);
        free(file);
        free(io);
        PHYSFS_setErrorCode(ErrorOf(status));
        return NULL;
    }
    file->packet = packet;
    file->index = index;
    io->version = 0;
    io->opaque = file;
    io->read = FileRead;
    io->write = FileWrite;
    io->seek = FileSeek;
    io->tell = FileTell;
    io->length = FileLength;
    io->duplicate = FileDuplicate;
    io->flush = FileFlush;
    io->destroy = FileDestroy;
    return io;
}

static PHYSFS_Io* FileDuplicate(PHYSFS_Io* io) {
    const FileReader* file = (const FileReader*)io->opaque;
    return NewFileIo(file->packet, file->index, FileTell(io));
}

static PHYSFS_Io* OpenRead(void* opaque, const char* name) {
    const Archive* archive = (const Archive*)opaque;
    size_t index = 0;
    int kind = VKR_KIND_FOLDER;
    if (!Find(archive, name, &index)) return NULL;
    if (index == VKR_ROOT || vkr_entry_kind(archive->packet, index, &kind) != VKR_OK || kind != VKR_KIND_FILE) {
        PHYSFS_setErrorCode(PHYSFS_ERR_NOT_A_FILE);
        return NULL;
    }
    return NewFileIo(archive->packet, index, 0);
}

static PHYSFS_Io* OpenForWriting(void* opaque, const char* name) {
    (void)opaque;
    (void)name;
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return NULL;
}

static int Change(void* opaque, const char* name) {
    (void)opaque;
    (void)name;
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return 0;
}

static int Stat(void* opaque, const char* name, PHYSFS_Stat* stat) {
    const Archive* archive = (const Archive*)opaque;
    size_t index = 0;
    int kind = VKR_KIND_FOLDER;
    int64_t length = 0;
    if (!Find(archive, name, &index)) return 0;
    if (index != VKR_ROOT && (vkr_entry_kind(archive->packet, index, &kind) != VKR_OK ||
                              vkr_entry_length(archive->packet, index, &length) != VKR_OK)) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OTHER_ERROR);
        return 0;
    }
    stat->filetype = kind == VKR_KIND_FILE ? PHYSFS_FILETYPE_REGULAR : PHYSFS_FILETYPE_DIRECTORY;
    stat->filesize = length; /* 0 for a folder, as in a zip */
    stat->modtime = stat->createtime = stat->accesstime = -1; /* a packet keeps no times */
    stat->readonly = 1;
    return 1;
}

static void CloseArchive(void* opaque) {
    Archive* archive = (Archive*)opaque;
    vkr_close(archive->packet);
    archive->io->destroy(archive->io);
    free(archive);
}

/* One archiver for each way of reading names, told apart by the function that opens packets. */
#define PACKET_ARCHIVER(open)                                                                         \
    {0, {"dat", "Velkaron packet", "Velkaron", "", 0}, open, Enumerate, OpenRead, OpenForWriting, \
     OpenForWriting, Change, Change, Stat, CloseArchive}
static const PHYSFS_Archiver kArchivers[] = {PACKET_ARCHIVER(OpenDetected), PACKET_ARCHIVER(OpenGbk),
                                             PACKET_ARCHIVER(OpenUtf8)};

int vkr_physfs_register_names(int names) {
    if (!PHYSFS_isInit()) return 0; /* PhysFS keeps no error code before PHYSFS_init (3.0 crashes setting one) */
    if (names < VKR_PHYSFS_NAMES_DETECT || names > VKR_PHYSFS_NAMES_UTF8) {
        PHYSFS_setErrorCode(PHYSFS_ERR_INVALID_ARGUMENT);
        return 0;
    }
    return PHYSFS_registerArchiver(&kArchivers[names]);
}

int vkr_physfs_register(void) { return vkr_physfs_register_names(VKR_PHYSFS_NAMES_DETECT); }
