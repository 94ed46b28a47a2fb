// One timed measurement of the reader library, or of the same work on an extracted
// folder, per run of this program, so that every run starts from a fresh process:
//   velkaron-bench-reader open PACKET [map]            open and check: seconds, peak memory
//   velkaron-bench-reader lookup PACKET N SEED [map]   N lookups of random stored paths: per second
//   velkaron-bench-reader read PACKET N SEED [map]     N random small files found and read whole: per second
//   velkaron-bench-reader files PACKET DIR N SEED      the same N files read from DIR: per second
// The paths are drawn from the packet's index before the clock starts. Prints
// "VALUE MAXRSS_KIB".
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>
#include <velkaron/reader.hpp>

namespace {

using Clock = std::chrono::steady_clock;

long MaxRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "velkaron-bench-reader: %s: %s\n", what.c_str(), velkaron::LastMessage().c_str());
    std::exit(1);
}

// `count` random file paths of the packet (files only when `filesOnly`), as stored.
std::vector<std::string> RandomPaths(const velkaron::Packet& packet, std::size_t count, unsigned seed, bool filesOnly) {
    std::vector<std::size_t> candidates;
    for (std::size_t i = 0; i < packet.Count(); ++i) {
        velkaron::Entry entry;
        if (packet.EntryAt(i, entry) != VKR_OK) Fail("entry");
        if (!filesOnly || entry.kind == VKR_KIND_FILE) candidates.push_back(i);
    }
    std::mt19937 rng(seed);
    std::vector<std::string> paths(count);
    for (std::string& path : paths) {
        if (packet.PathAt(candidates[rng() % candidates.size()], path) != VKR_OK) Fail("path");
    }
    return paths;
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return std::fprintf(stderr, "usage: see the comment at the top of ReaderBench.cpp\n"), 2;
    const std::string mode = argv[1];
    const std::string last = argv[argc - 1];
    const unsigned flags = last == "map" ? VKR_OPEN_MAP : 0;
    velkaron::Packet packet;
    if (mode == "open") {
        const Clock::time_point start = Clock::now();
        if (packet.Open(argv[2], flags) != VKR_OK) Fail("open");
        const double seconds = Seconds(start);
        std::printf("%.6f %ld\n", seconds, MaxRssKib());
        return 0;
    }
    if (argc < 5) return 2;
    if (packet.Open(argv[2], flags) != VKR_OK) Fail("open");
    const bool files = mode == "files";
    const std::size_t count = std::strtoul(argv[files ? 4 : 3], nullptr, 10);
    const unsigned seed = static_cast<unsigned>(std::strtoul(argv[files ? 5 : 4], nullptr, 10));
    const std::vector<std::string> paths = RandomPaths(packet, count, seed, mode != "lookup");
    std::vector<char> buffer(1 << 20);
    std::size_t bytes = 0;
    Clock::time_point start = Clock::now();
    if (mode == "lookup") {
        for (const std::string& path : paths) {
            velkaron::Entry entry;
            if (packet.Find(path, entry) != VKR_OK) Fail("find " + path);
            bytes += static_cast<std::size_t>(entry.length);
        }
    } else if (mode == "read") {
        for (const std::string& path : paths) {
            velkaron::Entry entry;
            std::size_t got = 0;
            if (packet.Find(path, entry) != VKR_OK ||
                packet.Read(entry, 0, buffer.data(), buffer.size(), got) != VKR_OK) {
                Fail("read " + path);
            }
            bytes += got;
        }
    } else if (files) {
        const std::string dir = argv[3];
        std::vector<std::string> local;
        for (std::string path : paths) {
            std::replace(path.begin(), path.end(), '\\', '/');
            local.push_back(dir + "/" + path);
        }
        start = Clock::now();
        for (const std::string& path : local) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) Fail("open " + path);
            for (ssize_t n; (n = ::read(fd, buffer.data(), buffer.size())) > 0;) bytes += static_cast<std::size_t>(n);
            ::close(fd);
        }
    } else {
        return 2;
    }
    const double seconds = Seconds(start);
    std::printf("%.1f %ld\n", static_cast<double>(count) / seconds, MaxRssKib());
    std::fprintf(stderr, "%zu bytes\n", bytes);
    return 0;
}
