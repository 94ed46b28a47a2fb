/* Mounts a packet with PhysFS through the installed velkaron-physfs and prints one of
 * its files, as a game reads an asset:   physfs-read PACKET PATH */
#include <physfs.h>
#include <stdio.h>
#include <stdlib.h>

#include <velkaron/physfs.h>

int main(int argc, char** argv) {
    PHYSFS_File* file;
    char* content;
    PHYSFS_sint64 length;
    if (argc != 3) return 2;
    if (!PHYSFS_init(argv[0]) || !vkr_physfs_register() || !PHYSFS_mount(argv[1], "/", 1) ||
        (file = PHYSFS_openRead(argv[2])) == NULL) {
        fprintf(stderr, "physfs-read: %s\n", PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode()));
        return 1;
    }
    length = PHYSFS_fileLength(file);
    content = malloc((size_t)length + 1);
    if (content == NULL || PHYSFS_readBytes(file, content, (PHYSFS_uint64)length) != length) return 1;
    fwrite(content, 1, (size_t)length, stdout);
    free(content);
    PHYSFS_close(file);
    PHYSFS_deinit();
    return 0;
}
