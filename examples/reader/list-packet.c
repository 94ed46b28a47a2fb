/* Lists a packet and prints one of its files, through the C interface:
 *   list-packet-c PACKET PATH       (PATH as stored, e.g. "docs\readme.txt") */
#include <stdio.h>
#include <stdlib.h>

#include <velkaron/reader.h>

static int fail(vkr_packet* packet) {
    fprintf(stderr, "%s\n", vkr_last_message());
    vkr_close(packet);
    return 1;
}

int main(int argc, char** argv) {
    vkr_packet* packet = NULL;
    vkr_entry entry;
    size_t count = 0, i, got = 0;
    char path[4096];
    char* content;
    if (argc != 3) {
        fprintf(stderr, "usage: list-packet-c PACKET PATH\n");
        return 2;
    }
    if (vkr_open(argv[1], 0, &packet) != VKR_OK || vkr_count(packet, &count) != VKR_OK) return fail(packet);
    for (i = 0; i < count; ++i) {
        if (vkr_entry_at(packet, i, &entry) != VKR_OK || vkr_entry_path(packet, i, path, sizeof path, NULL) != VKR_OK) {
            return fail(packet);
        }
        printf("%s %lld %s\n", entry.kind == VKR_KIND_FOLDER ? "D" : "F", (long long)entry.length, path);
    }
    if (vkr_find(packet, argv[2], &entry) != VKR_OK) return fail(packet);
    content = malloc((size_t)entry.length + 1);
    if (content == NULL || vkr_read(packet, entry.index, 0, content, (size_t)entry.length, &got) != VKR_OK) {
        free(content);
        return fail(packet);
    }
    fwrite(content, 1, got, stdout);
    free(content);
    vkr_close(packet);
    return 0;
}
