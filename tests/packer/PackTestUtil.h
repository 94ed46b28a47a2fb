// Shared set-up for the packing tests: a source tree, a private work folder and a
// builder whose queue can be read back whole.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "packer/OnePassBuilder.h"
#include "packer/PacketBuilder.h"
#include "platform/MbText.h"
#include "platform/Pump.h"
#include "tests/support/PacketReader.h"
#include "tests/support/TestFs.h"

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// Collects the texts the job shows in message boxes while it lives.
struct BoxRecorder {
    std::vector<std::string> texts;
    BoxRecorder() { SetMessageBoxHook(&BoxRecorder::Record, this); }
    ~BoxRecorder() { SetMessageBoxHook(nullptr, nullptr); }
    static void Record(void* self, const char* text) { static_cast<BoxRecorder*>(self)->texts.push_back(text); }
};

// A job's text `format` with its one "%s" replaced by `path`.
inline std::string FormatText(const char* format, const std::string& path) {
    std::string text = format;
    text.replace(text.find("%s"), 2, path);
    return text;
}

inline bool Contains(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
}

class PackFixture {
public:
    PackFixture() {
        MakeDirs(m_dir / "src");
        PackOptions options;
        options.workDir = m_dir / "work";
        m_builder.SetOptions(options);
    }

    std::string Source() const { return m_dir / "src/"; }
    std::string Src(const std::string& relative) const { return m_dir / ("src/" + relative); }
    std::string PacketPath() const { return m_dir / "out.dat"; }
    std::string WorkFile(const char* name) const { return m_dir / (std::string("work/") + name); }
    const TempDir& Dir() const { return m_dir; }

    void Write(const std::string& relative, const std::string& bytes) {
        std::string path = Src(relative);
        std::size_t sep = FindLastChar(path, kPathSep);
        MakeDirs(path.substr(0, sep));
        WriteFileBytes(path, bytes);
    }
    void Folder(const std::string& relative) { MakeDirs(Src(relative)); }

    bool Pack() { return m_builder.BuildPacket(Source(), PacketPath()); }
    void SetOptions(const PackOptions& options) { m_builder.SetOptions(options); }
    PackOptions Options() const {
        PackOptions options;
        options.workDir = m_dir / "work";
        return options;
    }

    std::vector<std::string> Messages() {
        std::vector<std::string> all;
        std::string text;
        while (m_builder.TakeMessage(text)) all.push_back(text);
        return all;
    }

    CPacketBuilder& Builder() { return m_builder; }

private:
    TempDir m_dir;
    CPacketBuilder m_builder;
};

// What the one-pass job did with a fixture's source.
struct OnePassRun {
    bool ok = false;
    std::vector<std::string> messages;
    std::vector<SkippedEntry> skipped;
};

// Packs `f`'s source into `packet` with the one-pass job.
inline OnePassRun PackOnePass(const PackFixture& f, const std::string& packet, const PackOptions& options,
                              const OnePassOptions& onePass = OnePassOptions()) {
    COnePassBuilder builder;
    builder.SetOptions(options);
    builder.SetOnePassOptions(onePass);
    OnePassRun run;
    run.ok = builder.BuildPacket(f.Source(), packet);
    std::string text;
    while (builder.TakeMessage(text)) run.messages.push_back(text);
    run.skipped = builder.Skipped();
    return run;
}
