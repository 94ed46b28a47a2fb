// Micro-benchmark of the packing job's per-entry path: a whole job over a few
// thousand small files, in two passes and in one, beside the floors it is made of
// (listing, opening and reading each file, appending it to a data file,
// formatting index lines).
// The tree is made once in a temporary folder and removed at exit.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "packer/OnePassBuilder.h"
#include "packer/PacketBuilder.h"
#include "packer/PacketFormat.h"
#include "platform/File.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/Pump.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFolders = 10;
constexpr int kFilesPerFolder = 300;
constexpr int kFiles = kFolders * kFilesPerFolder;
constexpr std::size_t kFileSize = 256;

struct Tree {
    std::string root;    // ends with a separator
    std::string source;  // the packed folder, ends with a separator
    std::string work;    // the job's work folder
    std::string packet;
    std::vector<std::string> folders;  // full paths, no trailing separator
    std::vector<std::string> files;    // full paths
    bool ok = false;
};

// Fixed content: the bytes of each file follow from its number alone.
bool MakeTree(Tree& tree) {
    const char* base = std::getenv("VELKARON_BENCH_DIR");
    std::string parent = base != nullptr && *base != '\0' ? std::string(base) + kPathSep : GetTempFolder();
    tree.root = parent + "velkaron-bench-entries-" + std::to_string(::getpid()) + kPathSep;
    tree.source = tree.root + "src" + kPathSep;
    tree.work = tree.root + "work";
    tree.packet = tree.root + "packet.dat";
    std::error_code ec;
    fs::create_directories(tree.source, ec);
    fs::create_directories(tree.work, ec);
    if (ec) return false;
    std::string content(kFileSize, '\0');
    for (int d = 0; d < kFolders; ++d) {
        char dir[32];
        std::snprintf(dir, sizeof dir, "dir%02d", d);
        std::string folder = tree.source + dir;
        if (!fs::create_directory(folder, ec) && ec) return false;
        tree.folders.push_back(folder);
        for (int f = 0; f < kFilesPerFolder; ++f) {
            char name[32];
            std::snprintf(name, sizeof name, "file%04d.bin", f);
            std::string path = folder + kPathSep + name;
            for (std::size_t i = 0; i < kFileSize; ++i) content[i] = static_cast<char>((d * 131 + f * 7 + i) & 0xFF);
            std::ofstream out(path, std::ios::binary);
            out.write(content.data(), static_cast<std::streamsize>(content.size()));
            if (!out) return false;
            tree.files.push_back(path);
        }
    }
    tree.ok = true;
    return true;
}

Tree g_tree;
bool g_treeTried = false;

// Made on first use, so that listing the benchmarks writes nothing.
Tree& TheTree() {
    if (!g_treeTried) {
        g_treeTried = true;
        MakeTree(g_tree);
    }
    return g_tree;
}

void DrainQueue(void* context) {
    static std::string text;
    auto* builder = static_cast<CPacketBuilder*>(context);
    while (builder->TakeMessage(text)) benchmark::DoNotOptimize(text.data());
}

bool NeedTree(benchmark::State& state) {
    if (TheTree().ok) return true;
    state.SkipWithError("cannot make the tree of small files");
    return false;
}

// The whole job, with the queue drained at every entry as a quiet host would.
void RunJobs(benchmark::State& state, CPacketBuilder& builder, std::size_t bufferSize, bool sorted) {
    if (!NeedTree(state)) return;
    Tree& tree = TheTree();
    PackOptions options;
    options.workDir = tree.work;
    options.bufferSize = bufferSize;
    options.sorted = sorted;
    builder.SetOptions(options);
    SetPumpHook(DrainQueue, &builder);
    SetMessageBoxHook([](void*, const char*) {}, nullptr);
    for (auto _ : state) {
        if (!builder.BuildPacket(tree.source, tree.packet) || builder.m_nFiles != kFiles) {
            state.SkipWithError("the job failed");
            break;
        }
        DrainQueue(&builder);
    }
    SetPumpHook(nullptr, nullptr);
    SetMessageBoxHook(nullptr, nullptr);
    state.SetItemsProcessed(state.iterations() * kFiles);
    state.SetBytesProcessed(state.iterations() * kFiles * static_cast<long long>(kFileSize));
}

void BM_PackSmallFiles(benchmark::State& state) {
    CPacketBuilder builder;
    RunJobs(state, builder, static_cast<std::size_t>(state.range(0)), false);
}
BENCHMARK(BM_PackSmallFiles)->Arg(4096)->Arg(64 << 10)->Arg(1 << 20)->Unit(benchmark::kMillisecond);

void BM_PackSmallFilesSorted(benchmark::State& state) {
    CPacketBuilder builder;
    RunJobs(state, builder, 4096, true);
}
BENCHMARK(BM_PackSmallFilesSorted)->Unit(benchmark::kMillisecond);

// The command line's default job, one pass, with `range(0)` threads reading (the
// job's own among them): wall time, since the reading thread is not in the
// job thread's CPU time.
void BM_PackSmallFilesOnePass(benchmark::State& state) {
    COnePassBuilder builder;
    OnePassOptions onePass;
    onePass.jobs = static_cast<int>(state.range(0));
    builder.SetOnePassOptions(onePass);
    RunJobs(state, builder, 512 * 1024, false);
}
BENCHMARK(BM_PackSmallFilesOnePass)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

// Floor 1: listing every folder of the tree, nothing else.
void BM_ListFolders(benchmark::State& state) {
    if (!NeedTree(state)) return;
    for (auto _ : state) {
        long long entries = 0;
        for (const std::string& folder : TheTree().folders) {
            CFileFind find;
            if (!find.FindFile(folder + kPathSep + "*.*")) continue;
            while (find.FindNextFile()) entries += find.IsDirectory() ? 0 : 1;
        }
        benchmark::DoNotOptimize(entries);
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_ListFolders)->Unit(benchmark::kMillisecond);

// Floor 2: opening, checking, reading and closing every file.
void BM_OpenReadClose(benchmark::State& state) {
    if (!NeedTree(state)) return;
    std::vector<char> buffer(4096);
    for (auto _ : state) {
        long long total = 0;
        for (const std::string& path : TheTree().files) {
            CFile file;
            if (!file.Open(path, CFile::modeRead) || !file.IsRegular()) continue;
            benchmark::DoNotOptimize(file.GetId());
            for (long long n; (n = file.Read(buffer.data(), buffer.size())) > 0;) total += n;
        }
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_OpenReadClose)->Unit(benchmark::kMillisecond);

// Floor 3: floor 2 plus appending every file to one data file, as the scan does.
void BM_AppendToDataFile(benchmark::State& state) {
    if (!NeedTree(state)) return;
    std::vector<char> buffer(4096);
    const std::string dataPath = TheTree().work + kPathSep + "append.dat";
    for (auto _ : state) {
        CFile data;
        if (!data.Open(dataPath, CFile::modeCreate | CFile::modeWrite)) {
            state.SkipWithError("cannot create the data file");
            break;
        }
        for (const std::string& path : TheTree().files) {
            CFile file;
            if (!file.Open(path, CFile::modeRead) || !file.IsRegular()) continue;
            for (long long n; (n = file.Read(buffer.data(), buffer.size())) > 0;) {
                data.Write(buffer.data(), static_cast<std::size_t>(n));
            }
        }
    }
    RemoveFile(dataPath);
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_AppendToDataFile)->Unit(benchmark::kMillisecond);

// The text work of one file entry: its relative path and its index line.
void BM_FormatFileLines(benchmark::State& state) {
    const std::string prefix = "dir07\\";
    const std::string name = "file0123.bin";
    std::string index;
    for (auto _ : state) {
        index.clear();
        int offset = kPacketHeaderSize;
        for (int i = 0; i < kFiles; ++i) {
            index += FormatFileLine(offset, static_cast<int>(kFileSize), prefix + name);
            offset += static_cast<int>(kFileSize);
        }
        benchmark::DoNotOptimize(index.data());
    }
    state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_FormatFileLines)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    InitMultibyte();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!g_tree.root.empty()) {
        std::error_code ec;
        fs::remove_all(g_tree.root, ec);
    }
    return 0;
}
