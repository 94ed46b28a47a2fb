/* Loads the installed shared reader library with dlopen, opens a packet through it,
 * closes both, and checks that the library is gone from the process afterwards (a
 * GNU_UNIQUE symbol, for one, would keep it loaded for good):
 *   unload LIBRARY PACKET       prints "unloaded" and exits 0, or says what stayed */
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

#include <velkaron/reader.h>

/* True while a mapping of the process names `name`. */
static int mapped(const char* name) {
    char line[4096];
    int found = 0;
    FILE* maps = fopen("/proc/self/maps", "r");
    if (maps == NULL) return -1;
    while (!found && fgets(line, sizeof line, maps) != NULL) found = strstr(line, name) != NULL;
    fclose(maps);
    return found;
}

int main(int argc, char** argv) {
    void* library;
    vkr_status (*open_packet)(const char*, unsigned, vkr_packet**);
    void (*close_packet)(vkr_packet*);
    vkr_packet* packet = NULL;
    if (argc != 3) return 2;
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == NULL) return fprintf(stderr, "unload: %s\n", dlerror()), 1;
    *(void**)&open_packet = dlsym(library, "vkr_open");
    *(void**)&close_packet = dlsym(library, "vkr_close");
    if (open_packet == NULL || close_packet == NULL || open_packet(argv[2], 0, &packet) != VKR_OK) {
        return fprintf(stderr, "unload: the library did not open %s\n", argv[2]), 1;
    }
    close_packet(packet);
    if (mapped("libvelkaron-reader") != 1) return fprintf(stderr, "unload: the library was never mapped\n"), 1;
    dlclose(library);
    if (mapped("libvelkaron-reader") != 0) return fprintf(stderr, "unload: the library stays loaded after dlclose\n"), 1;
    puts("unloaded");
    return 0;
}
