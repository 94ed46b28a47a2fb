// Lists a packet in index order and prints one of its files, through the C++ interface:
//   list-packet-cpp PACKET PATH     (PATH as a program writes it, e.g. "docs/readme.txt")
#include <cstdio>
#include <string>

#include <velkaron/reader.hpp>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: list-packet-cpp PACKET PATH\n");
        return 2;
    }
    velkaron::Packet packet;
    if (packet.Open(argv[1]) != VKR_OK) {
        std::fprintf(stderr, "%s\n", velkaron::LastMessage().c_str());
        return 1;
    }
    for (std::size_t i = 0; i < packet.Count(); ++i) {
        velkaron::Entry entry;
        std::string path;
        if (packet.EntryAt(i, entry) != VKR_OK || packet.PathAt(i, path) != VKR_OK) {
            std::fprintf(stderr, "%s\n", velkaron::LastMessage().c_str());
            return 1;
        }
        std::printf("%s %lld %s\n", entry.kind == VKR_KIND_FOLDER ? "D" : "F", static_cast<long long>(entry.length),
                    path.c_str());
    }
    velkaron::Entry entry;
    std::string content;
    if (packet.Find(argv[2], entry) != VKR_OK || packet.Read(entry, content) != VKR_OK) {
        std::fprintf(stderr, "%s\n", velkaron::LastMessage().c_str());
        return 1;
    }
    std::fwrite(content.data(), 1, content.size(), stdout);
    return 0;
}
