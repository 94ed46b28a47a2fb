// One timed measurement per run of this program of the reader library, libzip or
// PhysFS on the same files (a packet, a store-only zip of the same tree), so that every
// run starts from a fresh process:
//   velkaron-bench-archives TOOL MODE ARCHIVE LIST SEED
// TOOL: velkaron (no mapping), libzip, physfs. MODE:
//   open    open the archive and read its index: seconds
//   lookup  100,000 lookups of random file paths (drawn from LIST): seconds
//   small   every small file of LIST, in random order, found and read whole: seconds
//   large   every large file of LIST, in random order, found and read whole: seconds
// LIST holds one line per file: "s PATH" or "l PATH", PATH with "/" separators, as a
// program writes it; every tool is given the same strings. Everything is drawn and
// allocated before the clock starts. Prints "SECONDS CPU_SECONDS INDEX_HEAP_BYTES
// MAXRSS_KIB": the time it took, the processor time the process spent in it (which
// other work on the machine changes less), and the heap that opening the archive left
// allocated (glibc's count of bytes in use).
#include <malloc.h>
#include <physfs.h>
#include <sys/resource.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>
#include <velkaron/reader.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kLookups = 100000;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "velkaron-bench-archives: %s\n", what.c_str());
    std::exit(1);
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

double CpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

long MaxRssKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One of the three, behind the same few calls.
class Archive {
public:
    virtual ~Archive() = default;
    virtual void Open(const std::string& path) = 0;
    // True when the file at `path` is there.
    virtual bool Find(const std::string& path) = 0;
    // Finds the file at `path` and reads it whole into `buffer` (grown to fit): its length.
    virtual std::size_t Read(const std::string& path, std::vector<char>& buffer) = 0;
};

class Velkaron : public Archive {
public:
    ~Velkaron() override { vkr_close(m_packet); }
    void Open(const std::string& path) override {
        if (vkr_open(path.c_str(), 0, &m_packet) != VKR_OK) Fail(vkr_last_message());
    }
    bool Find(const std::string& path) override {
        std::size_t index = 0;
        return vkr_find_index(m_packet, path.c_str(), &index) == VKR_OK;
    }
    std::size_t Read(const std::string& path, std::vector<char>& buffer) override {
        std::size_t index = 0, got = 0;
        int64_t length = 0;
        if (vkr_find_index(m_packet, path.c_str(), &index) != VKR_OK ||
            vkr_entry_length(m_packet, index, &length) != VKR_OK) {
            Fail("find " + path);
        }
        if (buffer.size() < static_cast<std::size_t>(length)) buffer.resize(static_cast<std::size_t>(length));
        if (vkr_read(m_packet, index, 0, buffer.data(), static_cast<std::size_t>(length), &got) != VKR_OK) {
            Fail(vkr_last_message());
        }
        return got;
    }

private:
    vkr_packet* m_packet = nullptr;
};

class LibZip : public Archive {
public:
    ~LibZip() override {
        if (m_zip != nullptr) zip_discard(m_zip);
    }
    void Open(const std::string& path) override {
        int error = 0;
        m_zip = zip_open(path.c_str(), ZIP_RDONLY, &error);
        if (m_zip == nullptr) Fail("zip_open " + path);
    }
    bool Find(const std::string& path) override { return zip_name_locate(m_zip, path.c_str(), 0) >= 0; }
    std::size_t Read(const std::string& path, std::vector<char>& buffer) override {
        const zip_int64_t index = zip_name_locate(m_zip, path.c_str(), 0);
        zip_stat_t st;
        if (index < 0 || zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), 0, &st) != 0) Fail("find " + path);
        if (buffer.size() < st.size) buffer.resize(st.size);
        zip_file_t* file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
        if (file == nullptr) Fail("zip_fopen_index " + path);
        const zip_int64_t got = zip_fread(file, buffer.data(), st.size);
        zip_fclose(file);
        if (got < 0 || static_cast<zip_uint64_t>(got) != st.size) Fail("zip_fread " + path);
        return static_cast<std::size_t>(got);
    }

private:
    zip_t* m_zip = nullptr;
};

class PhysFs : public Archive {
public:
    PhysFs() {
        if (!PHYSFS_init(nullptr)) Fail("PHYSFS_init");
    }
    ~PhysFs() override { PHYSFS_deinit(); }
    void Open(const std::string& path) override {
        if (!PHYSFS_mount(path.c_str(), "/", 1)) Fail(PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode()));
    }
    bool Find(const std::string& path) override {
        PHYSFS_Stat st;
        return PHYSFS_stat(path.c_str(), &st) != 0;
    }
    std::size_t Read(const std::string& path, std::vector<char>& buffer) override {
        PHYSFS_File* file = PHYSFS_openRead(path.c_str());
        if (file == nullptr) Fail("PHYSFS_openRead " + path);
        const PHYSFS_sint64 length = PHYSFS_fileLength(file);
        if (length < 0) Fail("PHYSFS_fileLength " + path);
        if (buffer.size() < static_cast<std::size_t>(length)) buffer.resize(static_cast<std::size_t>(length));
        const PHYSFS_sint64 got = PHYSFS_readBytes(file, buffer.data(), static_cast<PHYSFS_uint64>(length));
        PHYSFS_close(file);
        if (got != length) Fail("PHYSFS_readBytes " + path);
        return static_cast<std::size_t>(got);
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) return std::fprintf(stderr, "usage: see the comment at the top of ArchiveBench.cpp\n"), 2;
    const std::string tool = argv[1], mode = argv[2], archivePath = argv[3];
    std::vector<std::string> small, large;
    std::ifstream list(argv[4]);
    for (std::string line; std::getline(list, line);) {
        if (line.size() > 2) (line[0] == 'l' ? large : small).push_back(line.substr(2));
    }
    if (small.empty()) Fail("no files listed in " + std::string(argv[4]));
    std::mt19937 rng(static_cast<unsigned>(std::strtoul(argv[5], nullptr, 10)));
    std::vector<std::string> paths;
    if (mode == "lookup") {
        for (std::size_t i = 0; i < kLookups; ++i) paths.push_back(small[rng() % small.size()]);
    } else if (mode == "small" || mode == "large") {
        paths = mode == "small" ? small : large;
        std::shuffle(paths.begin(), paths.end(), rng);
    } else if (mode != "open") {
        return 2;
    }
    std::vector<char> buffer(1 << 20);
    Archive* archive = tool == "velkaron" ? static_cast<Archive*>(new Velkaron)
                       : tool == "libzip" ? static_cast<Archive*>(new LibZip)
                       : tool == "physfs" ? static_cast<Archive*>(new PhysFs)
                                          : nullptr;
    if (archive == nullptr) return 2;

    const std::size_t heapBefore = HeapInUse();
    Clock::time_point start = Clock::now();
    double cpuStart = CpuSeconds();
    archive->Open(archivePath);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double cpu = CpuSeconds() - cpuStart;
    const std::size_t heap = HeapInUse() - heapBefore;
    std::size_t found = 0, bytes = 0;
    if (mode != "open") {
        start = Clock::now();
        cpuStart = CpuSeconds();
        if (mode == "lookup") {
            for (const std::string& path : paths) found += archive->Find(path) ? 1 : 0;
        } else {
            for (const std::string& path : paths) bytes += archive->Read(path, buffer);
            found = paths.size();
        }
        seconds = std::chrono::duration<double>(Clock::now() - start).count();
        cpu = CpuSeconds() - cpuStart;
        if (found != paths.size()) Fail("only " + std::to_string(found) + " of the paths found");
    }
    std::printf("%.6f %.6f %zu %ld\n", seconds, cpu, heap, MaxRssKib());
    std::fprintf(stderr, "%zu bytes\n", bytes);
    delete archive;
    return 0;
}
