// velkaron-pack: the command-line front end. Packs a folder into a packet without a window.
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/PackCommand.h"
#include "platform/Console.h"
#include "platform/MbText.h"
#include "settings/ProgramDir.h"

namespace {

const char kUsage[] =
    "用法: velkaron-pack SOURCE PACKET\n"
    "      velkaron-pack            (打包程序旁的示例文件夹 example)\n"
    "将文件夹 SOURCE 及其下所有文件打包为数据包 PACKET。\n"
    "退出状态: 0 成功, 1 打包失败, 2 用法错误。\n";

int Usage(std::FILE* out, int status) {
    std::fputs(kUsage, out);
    return status;
}

// With no arguments: the example folder the build puts beside the program.
int PackExample() {
    std::string dir;
    GetProgramDir(dir);
    std::string packet = dir + "example.dat";
    int status = RunPack(dir + "example", packet);
    std::printf("数据包: %s\n", packet.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    InitMultibyte();
    SetBinaryStdStreams();
    if (argc == 1) return PackExample();
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        return Usage(stdout, kExitOk);
    }
    if (argc != 3) return Usage(stderr, kExitUsage);
    if (argv[1][0] == '\0') {
        std::fputs("velkaron-pack: 请先选择源文件夹。\n", stderr);
        return kExitUsage;
    }
    return RunPack(argv[1], argv[2]);
}
