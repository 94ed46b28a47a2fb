// Runs one packing job (one pass, or the dialog's two) with hooks that print what a
// dialog would show, a progress line for quiet runs on a terminal, and the list of
// what was left out.
#include "cli/PackCommand.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli/CliText.h"
#include "packer/OnePassBuilder.h"
#include "packer/PacketBuilder.h"
#include "platform/Console.h"
#include "platform/Cpu.h"
#include "platform/FileFind.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/NameEncoding.h"
#include "platform/Pump.h"
#include "platform/SignalGuard.h"

namespace {

using Clock = std::chrono::steady_clock;

// One line on standard error, rewritten at most ten times a second.
class ProgressLine {
public:
    explicit ProgressLine(bool on) : m_bOn(on), m_start(Clock::now()), m_last(m_start) {}

    void Update(const CPacketBuilder& builder) {
        if (!m_bOn) return;  // called for every entry: no clock reading when there is no line
        Clock::time_point now = Clock::now();
        if (now - m_last < std::chrono::milliseconds(100)) return;
        m_last = now;
        long long bytes = static_cast<long long>(builder.m_nOffset) - kPacketHeaderSize;
        double seconds = std::chrono::duration<double>(now - m_start).count();
        long long rate = seconds > 0 ? static_cast<long long>(static_cast<double>(bytes) / seconds) : 0;
        std::string text = "文件: " + std::to_string(builder.m_nFiles) + " | 文件夹 " +
                           std::to_string(builder.m_nFolders) + " | " + FormatBytes(bytes) + " | " +
                           FormatBytes(rate) + "/s";
        Show(text);
    }

    // Takes the line away, so that what follows starts on a clean line.
    void Clear() {
        if (m_nShown > 0) Show(std::string());
    }

private:
    void Show(const std::string& text) {
        std::string line = "\r" + text;
        if (text.size() < m_nShown) line += std::string(m_nShown - text.size(), ' ');
        if (text.empty()) line += "\r";
        m_nShown = text.size();
        std::fwrite(line.data(), 1, line.size(), stderr);
        std::fflush(stderr);
    }

    bool m_bOn;
    Clock::time_point m_start;
    Clock::time_point m_last;
    std::size_t m_nShown = 0;
};

struct PackHost {
    CPacketBuilder& builder;
    ProgressLine& progress;
    bool quiet;
    CNameEncoder* toLocal;  // stored names are GBK: index lines are shown in the local encoding
    std::FILE* texts;       // where the queued texts go: standard output, unless it carries the packet
};

bool IsIndexLine(const std::string& text) {
    return text.size() >= 3 && text[0] == '#' && (text[1] == 'D' || text[1] == 'F') && text[2] == ',';
}

// An index line as the job formats it, its path (after the third comma) converted for
// the terminal; as stored when the path cannot be converted.
std::string ConvertedLine(const std::string& line, CNameEncoder& encoder) {
    std::size_t at = 0;
    for (int comma = 0; comma < 3; ++comma) at = line.find(',', at) + 1;
    std::string path = line.substr(at, line.size() - 2 - at);
    return encoder.Convert(path) ? line.substr(0, at) + path + "\r\n" : line;
}

// `text` with the control characters of its names escaped as list shows them; its
// own line end stays.
std::string ShownText(const std::string& text) {
    const std::size_t end = text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0 ? text.size() - 2
                                                                                          : text.size();
    return Shown(text.substr(0, end)) + text.substr(end);
}

void DrainQueue(PackHost& host) {
    std::string text;
    while (host.builder.TakeMessage(text)) {
        const bool indexLine = IsIndexLine(text);
        if (host.quiet && indexLine) continue;
        if (host.quiet) host.progress.Clear();
        const std::string shown =
            ShownText(indexLine && host.toLocal != nullptr ? ConvertedLine(text, *host.toLocal) : text);
        std::fwrite(shown.data(), 1, shown.size(), host.texts);
    }
}

void PumpTexts(void* context) {
    PackHost& host = *static_cast<PackHost*>(context);
    DrainQueue(host);
    host.progress.Update(host.builder);
}

void BoxToStderr(void* context, const char* text) {
    static_cast<PackHost*>(context)->progress.Clear();
    std::fflush(stdout);
    std::fputs(text, stderr);
}

// Names every entry the packet lacks, except the job's own work files and the packet it
// replaces, which are no part of the tree the user meant. The count of those named.
int ReportSkipped(const CPacketBuilder& builder) {
    int count = 0;
    for (const SkippedEntry& entry : builder.Skipped()) {
        if (entry.reason == SkipReason::WorkFile || entry.reason == SkipReason::Packet) continue;
        Err(std::string("已跳过 (") + SkipReasonText(entry.reason) + "): " + entry.path + "\n");
        ++count;
    }
    if (count > 0) Err("共有 " + std::to_string(count) + " 项未打包, 数据包中不含它们。\n");
    return count;
}

// Microseconds the second thread, done with a folder, stays awake for the next one where
// a core is to spare: about the time the job's thread takes to list that folder.
constexpr int kIdleSpin = 30;

// True where the process may run on `cores` cores (two or more) and, at this instant, one
// of them is free of other work. Then the default is two threads: the job's reads the
// files and a second one writes the packet, the two halves of the copy overlapping. Where
// other work takes every core but one, the two would share that one and wait on each
// other a time slice at a time: one thread is faster then, and a thread that --jobs asks
// for sleeps at once when it waits (see docs/benchmarks.md).
bool CoreFree(int cores) {
    const int others = OtherRunnableTasks();
    return others < 0 || others < cores - 1;
}

// The dialog's job for two passes, else the one-pass job with the options' threads and
// sync; the default looks for a free core before the second thread starts (the job itself
// takes the looks, early on, so that it never waits for one).
std::unique_ptr<CPacketBuilder> MakeBuilder(bool twoPass, const CliOptions& options) {
    if (twoPass) return std::unique_ptr<CPacketBuilder>(new CPacketBuilder);
    OnePassOptions onePass;
    const int cores = CoreCount();  // asked once: each look for a free core reads the load only
    if (options.jobs > 0) {
        onePass.jobs = options.jobs;
        onePass.idleSpin = options.jobs > 1 && cores > 1 && CoreFree(cores) ? kIdleSpin : 0;
    } else if (cores > 1) {
        onePass.jobs = 2;
        onePass.idleSpin = kIdleSpin;  // the thread starts only where a core is free
        onePass.coreFree = [cores] { return CoreFree(cores); };
    }
    onePass.sync = options.sync;
    COnePassBuilder* builder = new COnePassBuilder;
    builder->SetOnePassOptions(onePass);
    return std::unique_ptr<CPacketBuilder>(builder);
}

// The two-pass job's packet on the disk, for --sync; the one-pass job syncs its own.
bool SyncPacket(const std::string& packet) {
    CFile file;
    return GetTargetKind(packet) != PathKind::File ||
           (file.Open(packet, CFile::modeWrite) && file.Flush() && file.Close() && SyncFolderOf(packet));
}

}  // namespace

std::string NormaliseSourceFolder(const std::string& source) { return WithOneTrailingChar(source, kPathSep); }

bool IsFolder(const std::string& path) {
    PathKind kind = GetPathKind(path);
    if (kind == PathKind::Folder) return true;
    CFileFind find;
    return kind == PathKind::Link && find.FindFile(path + kPathSep + "*.*");
}

FolderState StateOfFolder(const std::string& path) {
    std::string bare = path;
    TrimRightChar(bare, kPathSep);
    if (bare.empty() || IsFolder(bare)) return FolderState::Folder;  // "" is the root
    // A link that leads nowhere names a folder that does not exist.
    return GetTargetKind(bare) == PathKind::Missing ? FolderState::Missing : FolderState::NotFolder;
}

std::string SourceFolderProblem(const std::string& source) {
    switch (StateOfFolder(source)) {
        case FolderState::Missing: return "源文件夹 " + source + " 不存在";
        case FolderState::NotFolder: return "源 " + source + " 不是文件夹";
        case FolderState::Folder: break;
    }
    return "无法列出源文件夹 " + source + " 的内容";
}

std::string CheckPackOptions(const std::string& packet, const CliOptions& options) {
    const bool toStdout = packet == kStandardOutputName;
    if (toStdout && IsTerminal(stdout)) return "数据包不写到终端: 请把标准输出重定向到文件或管道";
    if (toStdout && options.sync) return "--sync 不适用于标准输出 (-)";
    if (options.jobs > 0 && (toStdout || options.twoPass || !options.workDir.empty())) {
        return "--jobs 只适用于一次写成的数据包, 不适用于 --two-pass、--work-dir 或标准输出 (-)";
    }
    return std::string();
}

int RunPack(const std::string& source, const std::string& packet, const CliOptions& options) {
    IgnoreFileSizeSignal();  // a full file-size limit fails the job like a full disk
    const bool toStdout = packet == kStandardOutputName;
    const bool twoPass =
        options.twoPass || !options.workDir.empty() || toStdout || GetTargetKind(packet) == PathKind::Other;
    PackOptions pack;
    pack.workDir = options.workDir;
    pack.bufferSize = options.bufferSize;
    pack.sorted = options.sorted;
    pack.toStandardOutput = toStdout;
    // Only the dialog's job, asked for by name, turns a source it cannot list into an empty packet.
    pack.sourceRequired = !options.twoPass && options.workDir.empty();
    CNameEncoder encoder;
    CNameEncoder toLocal;
    if (!OpenEncoder(encoder, NameDirection::LocalToGbk, options) ||
        !OpenEncoder(toLocal, NameDirection::GbkToLocal, options)) {
        return kExitFailed;
    }
    if (options.gbk) pack.convertName = [&encoder](std::string& name) { return encoder.Convert(name); };
    // Two passes the user did not ask for keep their work files out of everyone's way:
    // without names in the temporary folder, gone with the process however it ends.
    if (twoPass && !options.twoPass && pack.workDir.empty()) {
        pack.workDir = GetTempFolder();
        pack.unnamedWorkFiles = true;
    }

    const bool quiet = options.quiet || toStdout;
    pack.indexTexts = !quiet;  // a quiet run shows no index line: none is queued

    std::unique_ptr<CPacketBuilder> builder = MakeBuilder(twoPass, options);
    builder->SetOptions(pack);
    ProgressLine progress(quiet && IsTerminal(stderr));
    PackHost host{*builder, progress, quiet, options.gbk ? &toLocal : nullptr, toStdout ? stderr : stdout};
    SetPumpHook(PumpTexts, &host);
    SetMessageBoxHook(BoxToStderr, &host);
    bool ok = builder->BuildPacket(NormaliseSourceFolder(source), packet);
    SetPumpHook(nullptr, nullptr);
    SetMessageBoxHook(nullptr, nullptr);
    progress.Clear();

    DrainQueue(host);
    if (builder->SourceFailed()) {
        Err(SourceFolderProblem(source) + (toStdout ? std::string() : ", 数据包 " + packet + " 保持原样") + "。\n");
        return kExitFailed;
    }
    std::fprintf(host.texts, "\n文件: %d | 文件夹 %d\n", builder->m_nFiles, builder->m_nFolders);
    std::fflush(host.texts);
    if (ok && twoPass && options.sync && !SyncPacket(packet)) {
        Err("无法把数据包存到磁盘上: " + packet + "\n");
        ok = false;
    }
    int skipped = ReportSkipped(*builder);
    if (!ok) return kExitFailed;
    return skipped > 0 ? kExitSkipped : kExitOk;
}
