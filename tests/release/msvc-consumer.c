/* A C program as an MSVC-style tool chain builds one against the reader SDK, with no C
 * runtime: clang's own stddef.h and stdint.h, an entry point of its own and a few
 * kernel32 calls. Reads one file out of a packet through velkaron-reader.lib and the DLL:
 *   msvc-consumer PACKET PATH
 * PACKET and PATH in the system's code page. Writes the file's bytes to standard output
 * and exits 0; on a failure writes the library's message to standard error and exits
 * 2 (usage), 3 (the packet does not open), 4 (PATH is not found) or 5 (not read whole). */
#include <stddef.h>
#include <stdint.h>

#include <velkaron/reader.h>

#define STD_OUTPUT_HANDLE ((uint32_t)-11)
#define STD_ERROR_HANDLE ((uint32_t)-12)

__declspec(dllimport) void* __stdcall GetStdHandle(uint32_t which);
__declspec(dllimport) int __stdcall WriteFile(void* file, const void* data, uint32_t size, uint32_t* written,
                                              void* overlapped);
__declspec(dllimport) char* __stdcall GetCommandLineA(void);
__declspec(dllimport) __declspec(noreturn) void __stdcall ExitProcess(uint32_t status);

static size_t length_of(const char* text) {
    size_t length = 0;
    while (text[length] != '\0') ++length;
    return length;
}

static void write_to(uint32_t which, const char* data, size_t size) {
    uint32_t written = 0;
    WriteFile(GetStdHandle(which), data, (uint32_t)size, &written, NULL);
}

static uint32_t fail(uint32_t status, vkr_packet* packet) {
    write_to(STD_ERROR_HANDLE, vkr_last_message(), length_of(vkr_last_message()));
    write_to(STD_ERROR_HANDLE, "\r\n", 2);
    vkr_close(packet);
    return status;
}

/* Cuts the next argument out of the command line at *at, in place, as the C runtime
 * would for plain arguments: blanks between them, double quotes around one with blanks.
 * NULL when none is left. */
static char* next_argument(char** at) {
    char *from = *at, *to, *start;
    int quoted = 0;
    while (*from == ' ' || *from == '\t') ++from;
    if (*from == '\0') return NULL;
    start = to = from;
    for (; *from != '\0' && (quoted || (*from != ' ' && *from != '\t')); ++from) {
        if (*from == '"') {
            quoted = !quoted;
        } else {
            *to++ = *from;
        }
    }
    *at = *from != '\0' ? from + 1 : from;
    *to = '\0';
    return start;
}

static uint32_t run(void) {
    static char content[4096];
    char* line = GetCommandLineA();
    char *packet_path, *path;
    vkr_packet* packet = NULL;
    size_t index = 0, got = 0;
    int64_t length = 0;
    next_argument(&line); /* the program's own name */
    packet_path = next_argument(&line);
    path = next_argument(&line);
    if (path == NULL || next_argument(&line) != NULL) {
        write_to(STD_ERROR_HANDLE, "usage: msvc-consumer PACKET PATH\r\n", 34);
        return 2;
    }
    if (vkr_open(packet_path, VKR_OPEN_NOCASE, &packet) != VKR_OK) return fail(3, packet);
    if (vkr_find_index(packet, path, &index) != VKR_OK) return fail(4, packet);
    if (vkr_entry_length(packet, index, &length) != VKR_OK || length < 0 || length > (int64_t)sizeof content ||
        vkr_read(packet, index, 0, content, sizeof content, &got) != VKR_OK || got != (size_t)length) {
        return fail(5, packet);
    }
    write_to(STD_OUTPUT_HANDLE, content, got);
    vkr_close(packet);
    return 0;
}

/* The entry point lld-link looks for in a console program. */
void mainCRTStartup(void) { ExitProcess(run()); }
