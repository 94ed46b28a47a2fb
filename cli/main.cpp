// velkaron-pack: the command-line front end. Packs a folder into a packet without a
// window, and lists, verifies, extracts and prints packets' files.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/CliText.h"
#include "cli/PackCommand.h"
#include "cli/PacketCommands.h"
#include "platform/Console.h"
#include "platform/MbText.h"
#include "settings/ProgramDir.h"

namespace {

const char kUsage[] =
    "用法: velkaron-pack SOURCE PACKET [选项]          同 pack\n"
    "      velkaron-pack pack SOURCE PACKET [选项]     将文件夹 SOURCE 及其下所有内容打包为数据包 PACKET\n"
    "      velkaron-pack list PACKET [选项]            以表格列出数据包的索引 (类型、偏移、长度、路径)\n"
    "      velkaron-pack verify PACKET [SOURCE] [选项] 检查数据包的文件头、大小和索引的每条规则;\n"
    "                                                  给出 SOURCE 时再逐项比较条目和文件内容\n"
    "      velkaron-pack extract PACKET DIR [PATH...] [选项]\n"
    "                                                  先检查整个索引, 再在文件夹 DIR 下重建目录树;\n"
    "                                                  给出 PATH 时只解包这些文件和文件夹 (连同其下所有内容)\n"
    "      velkaron-pack cat PACKET PATH... [选项]     将这些文件的内容按原样写到标准输出\n"
    "      velkaron-pack                               打包程序旁的示例文件夹 example (没有时显示本说明)\n"
    "\n"
    "pack 默认一遍写成数据包: 先写入没有名称的新文件 (或 PACKET 旁的临时文件), 全部成功后才取代 PACKET;\n"
    "失败或被信号中止时不留下任何东西, 已有的 PACKET 保持原样。源文件夹无法列出时以状态 1 结束。\n"
    "源文件夹中已有的 PACKET 不打包进新的数据包。程序旁不创建任何文件。\n"
    "PACKET 为 - 时数据包写到标准输出 (按两遍方式, 工作文件在临时文件夹中且没有名称),\n"
    "此时不显示索引行, 其余文字写到标准错误。PACKET 不是普通文件 (设备、管道) 时也按两遍方式写入。\n"
    "\n"
    "pack 的选项:\n"
    "  --sorted                 各文件夹的条目按名称的字节序排列: 同一目录树总得到相同的数据包\n"
    "  --name-encoding raw|gbk  raw: 名称按列表给出的字节保存 (默认);\n"
    "                           gbk: 由本地编码转换为 GBK, 无法转换的条目跳过 (Windows 上不可用)\n"
    "  --two-pass               按对话框的方式: 先写两个工作文件, 再从头到尾写出 PACKET\n"
    "  --work-dir DIR           两个工作文件所在的文件夹, 含 --two-pass (默认: 程序旁的 data)\n"
    "  --sync                   报告成功之前把数据包存到磁盘上 (fsync 文件及其文件夹)\n"
    "  --jobs N                 作业的线程数, 1 到 64 (默认: 有多个处理器核且开始时至少有一个核空闲时为 2, 否则为 1;\n"
    "                           2 及以上: 另一个线程写数据包并提前打开文件, 多于 2 不会更快)\n"
    "  --buffer-size N          复制缓冲区的字节数, 可加 K 或 M (默认 512K)\n"
    "  -q                       不在标准输出显示索引行; 标准错误是终端时在那里显示一行进度\n"
    "list 的选项:\n"
    "  --raw                    按存储的原样输出索引行\n"
    "  --name-encoding raw|gbk  gbk: 数据包中的名称是 GBK, 以本地编码显示\n"
    "verify 的选项:\n"
    "  --name-encoding raw|gbk  gbk: 数据包中的名称是 GBK, 与 SOURCE 比较时换成本地编码\n"
    "  --work-dir DIR           打包时的工作文件夹: 其中的两个工作文件不算 SOURCE 的内容 (默认: 程序旁的 data)\n"
    "extract 的选项:\n"
    "  --force                  覆盖已存在的文件 (链接本身被替换, 不会经由它写入)\n"
    "  --name-encoding raw|gbk  gbk: 数据包中的名称是 GBK, 以本地编码创建, PATH 以本地编码给出\n"
    "  --buffer-size N          复制缓冲区的字节数 (默认 512K)\n"
    "cat 的选项:\n"
    "  --name-encoding raw|gbk  raw: PATH 按存储的原样给出 (默认); gbk: PATH 以本地编码给出, 转换为 GBK\n"
    "  --buffer-size N          复制缓冲区的字节数 (默认 512K)\n"
    "  -h, --help               显示本说明\n"
    "PATH 中的名称以 / 或 \\ 分隔; 数据包中没有的 PATH 是错误, 这时什么也不写。\n"
    "\n"
    "退出状态:\n"
    "  0  成功\n"
    "  1  失败: 打包失败, 源文件夹无法列出, 数据包无效或与 SOURCE 不符, 解包被拒绝或中断,\n"
    "     PATH 不在数据包中, 标准输出无法写入\n"
    "  2  用法错误\n"
    "  3  已打包, 但有条目无法读取或转换而被跳过 (在标准错误中逐一列出)\n";

int Usage(std::FILE* out, int status) {
    std::fputs(kUsage, out);
    return status;
}

int UsageError(const std::string& message) {
    Err(message + "\n");
    return Usage(stderr, kExitUsage);
}

// With no arguments: the example folder the build puts beside the program; where
// there is none (a downloaded or installed copy), the usage, creating nothing.
int PackExample() {
    std::string dir;
    GetProgramDir(dir);
    if (!IsFolder(dir + "example")) return Usage(stderr, kExitUsage);
    std::string packet = dir + "example.dat";
    int status = RunPack(dir + "example", packet, CliOptions());
    std::printf("数据包: %s\n", packet.c_str());
    return status;
}

struct Command {
    const char* name;
    unsigned options;
    std::size_t minOperands;
    std::size_t maxOperands;
    const char* operands;  // for the message when their number is wrong
};

const Command kCommands[] = {
    {"pack", kOptSorted | kOptEncoding | kOptWorkDir | kOptBufferSize | kOptQuiet | kOptTwoPass | kOptSync | kOptJobs, 2,
     2, "SOURCE PACKET"},
    {"list", kOptRaw | kOptEncoding, 1, 1, "PACKET"},
    {"verify", kOptEncoding | kOptWorkDir, 1, 2, "PACKET [SOURCE]"},
    {"extract", kOptForce | kOptEncoding | kOptBufferSize, 2, SIZE_MAX, "PACKET DIR [PATH...]"},
    {"cat", kOptEncoding | kOptBufferSize, 2, SIZE_MAX, "PACKET PATH..."},
};

int Run(const Command& command, const std::vector<std::string>& args) {
    CliOptions options;
    std::string error;
    if (!ParseCliOptions(args, command.name, command.options, options, error)) return UsageError(error);
    if (options.help) return Usage(stdout, kExitOk);
    const std::vector<std::string>& op = options.operands;
    if (op.size() < command.minOperands || op.size() > command.maxOperands) {
        return UsageError(std::string(command.name) + " 需要参数 " + command.operands);
    }
    const std::string name = command.name;
    if (name == "pack") {
        if (op[0].empty()) return Err("请先选择源文件夹。\n"), kExitUsage;
        if (op[1].empty()) return UsageError("请给出数据包的路径。");
        const std::string problem = CheckPackOptions(op[1], options);
        if (!problem.empty()) return UsageError(problem);
        return RunPack(op[0], op[1], options);
    }
    if (op[0].empty()) return UsageError("请给出数据包的路径。");
    if (name == "list") return RunList(op[0], options);
    if (name == "verify") return RunVerify(op[0], op.size() > 1 ? op[1] : std::string(), options);
    const std::vector<std::string> paths(op.begin() + (name == "cat" ? 1 : 2), op.end());
    if (name == "cat") return RunCat(op[0], paths, options);
    if (op[1].empty()) return UsageError("请给出目标文件夹。");
    return RunExtract(op[0], op[1], options, paths);
}

int RunArguments(const std::vector<std::string>& args) {
    if (args.empty()) return PackExample();
    for (const Command& command : kCommands) {
        if (args[0] == command.name) return Run(command, std::vector<std::string>(args.begin() + 1, args.end()));
    }
    // Any other first argument is a source folder: velkaron-pack SOURCE PACKET.
    return Run(kCommands[0], args);
}

}  // namespace

int main(int argc, char** argv) {
    InitMultibyte();
    SetBinaryStdStreams();
    const int status = RunArguments(std::vector<std::string>(argv + 1, argv + argc));
    // Whatever a command printed must have reached its reader: a listing cut short is no success.
    if (!FlushStandardOutput()) {
        if (status != kExitFailed) Err("写入标准输出出错, 输出不完整\n");  // else the command said why
        return kExitFailed;
    }
    return status;
}
