// velkaron-bench-pack SOURCE PACKET WORKDIR BUFFERSIZE: one quiet packing job
// with a chosen work folder and copy buffer, for the benchmarks' buffer sweep on
// builds whose velkaron-pack has no such options. Exit status 0 when packed.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "packer/PacketBuilder.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/Pump.h"

namespace {

// Drops the queued texts as the job goes, as a quiet host would.
void DrainQueue(void* context) {
    std::string text;
    auto* builder = static_cast<CPacketBuilder*>(context);
    while (builder->TakeMessage(text)) {
    }
}

void BoxToStderr(void*, const char* text) { std::fputs(text, stderr); }

}  // namespace

int main(int argc, char** argv) {
    InitMultibyte();
    char* end = nullptr;
    unsigned long long buffer = argc == 5 ? std::strtoull(argv[4], &end, 10) : 0;
    if (argc != 5 || end == argv[4] || *end != '\0' || buffer == 0 || buffer > (1ULL << 30)) {
        std::fputs("usage: velkaron-bench-pack SOURCE PACKET WORKDIR BUFFERSIZE\n", stderr);
        return 2;
    }
    std::string source = argv[1];
    TrimRightChar(source, kPathSep);
    source += kPathSep;

    CPacketBuilder builder;
    PackOptions options;
    options.workDir = argv[3];
    options.bufferSize = static_cast<std::size_t>(buffer);
    builder.SetOptions(options);
    SetPumpHook(DrainQueue, &builder);
    SetMessageBoxHook(BoxToStderr, nullptr);
    bool ok = builder.BuildPacket(source, argv[2]);
    SetPumpHook(nullptr, nullptr);
    SetMessageBoxHook(nullptr, nullptr);
    std::string text;
    while (builder.TakeMessage(text)) {
        if (!ok) std::fputs(text.c_str(), stderr);
    }
    return ok ? 0 : 1;
}
