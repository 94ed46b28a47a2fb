// Messages of velkaron-pack: the broken packet rules, skip reasons and byte counts.
#include "cli/CliText.h"

#include <cstdio>

#include "platform/MbText.h"

namespace {

std::string* g_pOut = nullptr;
std::string* g_pErr = nullptr;

// Length of the UTF-8 sequence at `pos`, 0 when none begins there.
std::size_t Utf8Length(const std::string& text, std::size_t pos) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    std::size_t n = c >= 0xF5 ? 0 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || pos + n > text.size()) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 0;
    }
    return n;
}

// Length of the character at `pos` when a terminal shows it as text; 0 for a control
// character or a byte that is no whole character.
std::size_t ShownLength(const std::string& text, std::size_t pos) {
    unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x20 || c == 0x7F) return 0;
    if (c < 0x80) return 1;
    if (IsLeadByte(c)) return pos + 1 < text.size() && IsTrailByte(static_cast<unsigned char>(text[pos + 1])) ? 2 : 0;
    std::size_t n = Utf8Length(text, pos);
    if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[pos + 1]) < 0xA0) return 0;  // U+0080-U+009F
    if (n > 0) return n;
    return c >= 0xA0 ? 1 : 0;  // a stray byte: 80-9F are C1 controls to an 8-bit terminal
}

}  // namespace

std::string Shown(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string shown;
    shown.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t n = ShownLength(text, pos);
        if (n > 0) {
            shown.append(text, pos, n);
            pos += n;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(text[pos++]);
        shown += "\\x";
        shown += kHex[c >> 4];
        shown += kHex[c & 0xF];
    }
    return shown;
}

void CaptureCliText(std::string* out, std::string* err) {
    g_pOut = out;
    g_pErr = err;
}

void Out(const std::string& text) {
    if (g_pOut != nullptr) {
        g_pOut->append(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
}

bool OutBytes(const char* data, std::size_t size, bool flush) {
    if (g_pOut != nullptr) {
        g_pOut->append(data, size);
        return true;
    }
    const bool written = size == 0 || std::fwrite(data, 1, size, stdout) == size;
    return written && (!flush || std::fflush(stdout) == 0);
}

bool FlushStandardOutput() {
    if (g_pOut != nullptr) return true;
    // The error indicator stays set, so a write that failed long ago still counts.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
}

void Err(const std::string& text) {
    const bool lineEnd = !text.empty() && text.back() == '\n';
    std::string line = "velkaron-pack: " + Shown(lineEnd ? text.substr(0, text.size() - 1) : text);
    if (lineEnd) line += '\n';
    if (g_pErr != nullptr) {
        g_pErr->append(line);
        return;
    }
    std::fflush(stdout);
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

namespace {

std::string N(long long value) { return std::to_string(value); }

std::string RuleText(const PacketProblem& p) {
    switch (p.rule) {
        case PacketRule::None: return "没有问题";
        case PacketRule::CannotOpen: return "无法打开 (不存在、不是普通文件或无权读取)";
        case PacketRule::CannotMap: return "无法整个映射到内存";
        case PacketRule::ReadError: return "读取出错或文件在读取时变短";
        case PacketRule::HeaderShort: return "文件只有 " + N(p.found) + " 字节, 不足 64 字节的文件头";
        case PacketRule::HeaderMagic: return "文件头不是以 \"Velkaron.Packet \" 开头";
        case PacketRule::HeaderLineEnd: return "文件头的 64 字节中没有 CR LF";
        case PacketRule::HeaderNumbers: return "文件头不是由一个空格分隔的两个十进制数 (无符号、无前导零、32 位)";
        case PacketRule::HeaderPadding: return "文件头在 CR LF 之后不全是空格";
        case PacketRule::IndexOffset: return "文件头中的索引位置 " + N(p.found) + " 小于 64";
        case PacketRule::PacketSize:
            return "文件大小 " + N(p.found) + " 字节与文件头所记的 " + N(p.expected) + " 字节 (索引位置加索引长度) 不符";
        case PacketRule::LineTooLong: return "索引行超过 " + N(kMaxIndexLine) + " 字节";
        case PacketRule::LineBreak: return "索引行中有单独的 CR 或 LF, 行没有以 CR LF 结束";
        case PacketRule::IndexEnd: return "索引的最后一行没有以 CR LF 结束";
        case PacketRule::LineKind: return "索引行不是以 \"#D,\" 或 \"#F,\" 开头";
        case PacketRule::LineFields: return "索引行少于四个字段";
        case PacketRule::LineNumbers: return "索引行的数字不是无符号、无前导零的 32 位十进制数";
        case PacketRule::FolderLength: return "文件夹行的第二个数不是 0";
        case PacketRule::PathAbsolute: return "路径是绝对路径 (以反斜杠或盘符开头)";
        case PacketRule::PathEmpty: return "路径为空或含有空的部分 (连续或结尾的反斜杠)";
        case PacketRule::PathDot: return "路径含有 \".\" 或 \"..\"";
        case PacketRule::PathBadChar: return "路径含有 NUL 或 \"/\"";
        case PacketRule::PathIllFormed: return "路径含有不完整的双字节字符: 前导字节之后不是有效的尾字节";
        case PacketRule::FilePastData:
            return "文件数据结束于 " + N(p.found) + ", 超出了结束于 " + N(p.expected) + " 的数据区";
        case PacketRule::FileGap:
            return "文件偏移 " + N(p.found) + " 与上一个文件的数据之间有空隙, 应为 " + N(p.expected);
        case PacketRule::FileOverlap:
            return "文件偏移 " + N(p.found) + " 与上一个文件的数据重叠, 应为 " + N(p.expected);
        case PacketRule::FolderOffset:
            return "文件夹行的偏移 " + N(p.found) + " 不是下一个文件数据的位置 " + N(p.expected);
        case PacketRule::Order: return "条目不在它之前列出的文件夹之下, 或文件夹的条目被分开";
        case PacketRule::Duplicate: return "路径与第 " + N(p.found) + " 行重复";
        case PacketRule::CaseClash: return "路径与第 " + N(p.found) + " 行只有大小写不同, 本系统无法同时保存";
        case PacketRule::DataLength:
            return "各文件长度之和 " + N(p.found) + " 与数据区长度 " + N(p.expected) + " 不符";
    }
    return "未知问题";
}

}  // namespace

std::string DescribeProblem(const PacketProblem& problem, const std::string& packet) {
    // Such a packet is valid, only not for a file system that ignores case.
    std::string text = "数据包 " + packet + (problem.rule == PacketRule::CaseClash ? " 无法在本系统解包: " : " 无效: ");
    if (problem.line > 0) {
        text += "索引第 " + N(problem.line) + " 行";
        if (!problem.text.empty()) text += " (" + problem.text + ")";
        text += ": ";
    }
    return text + RuleText(problem) + "\n";
}

const char* SkipReasonText(SkipReason reason) {
    switch (reason) {
        case SkipReason::Unreadable: return "无法读取";
        case SkipReason::NotAFile: return "不是普通文件";
        case SkipReason::WorkFile: return "是正在使用的工作文件";
        case SkipReason::Unlistable: return "无法列出其中的内容";
        case SkipReason::Backslash: return "名称含有反斜杠";
        case SkipReason::LineBreak: return "名称含有换行符";
        case SkipReason::Encoding: return "名称无法转换为 GBK";
        case SkipReason::CodePage: return "名称无法用当前代码页表示";
        case SkipReason::DriveLetter: return "名称以盘符开头, 读取时会被当作绝对路径";
        case SkipReason::Packet: return "是要替换的数据包本身";
        case SkipReason::PathTooLong: return "路径超过系统的长度上限";
        case SkipReason::NoDescriptor: return "进程已无可用的文件描述符";
    }
    return "无法打包";
}

std::string FormatBytes(long long bytes) {
    const char* units[] = {"KiB", "MiB", "GiB"};
    if (bytes < 1024) return N(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024;
    int unit = 0;
    while (value >= 1024 && unit < 2) {
        value /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}
