/* Walks a packet folder by folder and prints one of its files, through the C interface:
 *   list-packet-c PACKET PATH
 * PATH as a program writes it: "/" or "\" between names, any case of letters
 * (VKR_OPEN_NOCASE), e.g. "./Docs/README.txt". Prints "D 0 path" or "F length path" for
 * every entry, each folder's entries after its own line, then PATH's content. */
#include <stdio.h>
#include <stdlib.h>

#include <velkaron/reader.h>

static int fail(vkr_packet* packet) {
    fprintf(stderr, "%s\n", vkr_last_message());
    vkr_close(packet);
    return 1;
}

/* Prints the entries of `folder` (VKR_ROOT for the top level) and, below each folder
 * line, what that folder holds. 0 on success. */
static int list(const vkr_packet* packet, size_t folder) {
    size_t count = 0, i;
    size_t* children;
    int failed = 0;
    if (vkr_children(packet, folder, NULL, 0, &count) != VKR_OK) return 1;
    children = malloc((count > 0 ? count : 1) * sizeof *children);
    if (children == NULL || vkr_children(packet, folder, children, count, &count) != VKR_OK) {
        free(children);
        return 1;
    }
    for (i = 0; i < count && !failed; ++i) {
        char path[4096];
        int kind = 0;
        int64_t length = 0;
        if (vkr_entry_kind(packet, children[i], &kind) != VKR_OK ||
            vkr_entry_length(packet, children[i], &length) != VKR_OK ||
            vkr_entry_path(packet, children[i], path, sizeof path, NULL) != VKR_OK) {
            failed = 1;
            break;
        }
        printf("%s %lld %s\n", kind == VKR_KIND_FOLDER ? "D" : "F", (long long)length, path);
        if (kind == VKR_KIND_FOLDER) failed = list(packet, children[i]);
    }
    free(children);
    return failed;
}

int main(int argc, char** argv) {
    vkr_packet* packet = NULL;
    vkr_stream* stream = NULL;
    size_t index = 0, got = 0;
    int64_t at = 0;
    char piece[256];
    if (argc != 3) {
        fprintf(stderr, "usage: list-packet-c PACKET PATH (reader %s, headers %d.%d.%d)\n", vkr_version(),
                VKR_VERSION_MAJOR, VKR_VERSION_MINOR, VKR_VERSION_PATCH);
        return 2;
    }
    if (vkr_open(argv[1], VKR_OPEN_NOCASE, &packet) != VKR_OK || list(packet, VKR_ROOT) != 0) return fail(packet);
    if (vkr_find_index(packet, argv[2], &index) != VKR_OK || vkr_stream_open(packet, index, &stream) != VKR_OK) {
        return fail(packet);
    }
    /* A decoder peeks at the first bytes, then starts again from the beginning. */
    if (vkr_stream_read(stream, piece, 4, &got) != VKR_OK || vkr_stream_tell(stream, &at) != VKR_OK ||
        at != (int64_t)got || vkr_stream_seek(stream, 0) != VKR_OK) {
        vkr_stream_close(stream);
        return fail(packet);
    }
    do {
        if (vkr_stream_read(stream, piece, sizeof piece, &got) != VKR_OK) {
            vkr_stream_close(stream);
            return fail(packet);
        }
        fwrite(piece, 1, got, stdout);
    } while (got > 0);
    vkr_stream_close(stream);
    vkr_close(packet);
    return 0;
}
