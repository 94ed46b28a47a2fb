// Runs one packing job with hooks that print what a dialog would show, a progress
// line for quiet runs on a terminal, and the list of what was left out.
#include "cli/PackCommand.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "cli/CliText.h"
#include "packer/PacketBuilder.h"
#include "platform/Console.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/NameEncoding.h"
#include "platform/Pump.h"

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

void DrainQueue(PackHost& host) {
    std::string text;
    while (host.builder.TakeMessage(text)) {
        const bool indexLine = IsIndexLine(text);
        if (host.quiet && indexLine) continue;
        if (host.quiet) host.progress.Clear();
        Out(indexLine && host.toLocal != nullptr ? ConvertedLine(text, *host.toLocal) : text);
    }
}

void PumpToStdout(void* context) {
    PackHost& host = *static_cast<PackHost*>(context);
    DrainQueue(host);
    host.progress.Update(host.builder);
}

void BoxToStderr(void* context, const char* text) {
    static_cast<PackHost*>(context)->progress.Clear();
    std::fflush(stdout);
    std::fputs(text, stderr);
}

// Names every entry the packet lacks, except the job's own work files, which are no
// part of the tree the user meant. The count of those named.
int ReportSkipped(const CPacketBuilder& builder) {
    int count = 0;
    for (const SkippedEntry& entry : builder.Skipped()) {
        if (entry.reason == SkipReason::WorkFile) continue;
        Err(std::string("已跳过 (") + SkipReasonText(entry.reason) + "): " + entry.path + "\n");
        ++count;
    }
    if (count > 0) Err("共有 " + std::to_string(count) + " 项未打包, 数据包中不含它们。\n");
    return count;
}

}  // namespace

std::string NormaliseSourceFolder(const std::string& source) { return WithOneTrailingChar(source, kPathSep); }

int RunPack(const std::string& source, const std::string& packet, const CliOptions& options) {
    PackOptions pack;
    pack.workDir = options.workDir;
    pack.bufferSize = options.bufferSize;
    pack.sorted = options.sorted;
    CNameEncoder encoder;
    CNameEncoder toLocal;
    if (!OpenEncoder(encoder, NameDirection::LocalToGbk, options) ||
        !OpenEncoder(toLocal, NameDirection::GbkToLocal, options)) {
        return kExitFailed;
    }
    if (options.gbk) pack.convertName = [&encoder](std::string& name) { return encoder.Convert(name); };

    CPacketBuilder builder;
    builder.SetOptions(pack);
    ProgressLine progress(options.quiet && IsTerminal(stderr));
    PackHost host{builder, progress, options.quiet, options.gbk ? &toLocal : nullptr};
    SetPumpHook(PumpToStdout, &host);
    SetMessageBoxHook(BoxToStderr, &host);
    bool ok = builder.BuildPacket(NormaliseSourceFolder(source), packet);
    SetPumpHook(nullptr, nullptr);
    SetMessageBoxHook(nullptr, nullptr);
    progress.Clear();

    DrainQueue(host);
    std::printf("\n文件: %d | 文件夹 %d\n", builder.m_nFiles, builder.m_nFolders);
    std::fflush(stdout);
    int skipped = ReportSkipped(builder);
    if (!ok) return kExitFailed;
    return skipped > 0 ? kExitSkipped : kExitOk;
}
