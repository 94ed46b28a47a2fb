// Runs one packing job with hooks that print what a dialog would show.
#include "cli/PackCommand.h"

#include <cstdio>

#include "packer/PacketBuilder.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/Pump.h"

namespace {

void DrainQueue(CPacketBuilder& builder) {
    std::string text;
    while (builder.TakeMessage(text)) std::fwrite(text.data(), 1, text.size(), stdout);
}

void PumpToStdout(void* context) { DrainQueue(*static_cast<CPacketBuilder*>(context)); }

void BoxToStderr(void*, const char* text) {
    std::fflush(stdout);
    std::fputs(text, stderr);
}

}  // namespace

std::string NormaliseSourceFolder(const std::string& source) {
    std::string folder = source;
    TrimRightChar(folder, kPathSep);
    return folder + kPathSep;
}

int RunPack(const std::string& source, const std::string& packet) {
    CPacketBuilder builder;
    SetPumpHook(PumpToStdout, &builder);
    SetMessageBoxHook(BoxToStderr, nullptr);
    bool ok = builder.BuildPacket(NormaliseSourceFolder(source), packet);
    SetPumpHook(nullptr, nullptr);
    SetMessageBoxHook(nullptr, nullptr);

    DrainQueue(builder);
    std::printf("\n文件: %d | 文件夹 %d\n", builder.m_nFiles, builder.m_nFolders);
    std::fflush(stdout);
    return ok ? kExitOk : kExitFailed;
}
