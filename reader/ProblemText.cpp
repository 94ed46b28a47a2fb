// English texts of the packet rules, for the library's messages.
#include "reader/ProblemText.h"

namespace velkaron_reader {

namespace {

std::string N(long long value) { return std::to_string(value); }

std::string Earlier(const PacketProblem& p) { return p.other.empty() ? std::string() : " (" + EscapedBytes(p.other) + ")"; }

std::string RuleText(const PacketProblem& p) {
    switch (p.rule) {
        case PacketRule::None: return "no problem";
        case PacketRule::CannotOpen: return "cannot be opened (missing, not a plain file, or not readable)";
        case PacketRule::CannotMap: return "cannot be mapped whole (" + N(p.found) + " bytes)";
        case PacketRule::ReadError: return "a read failed or the file became shorter";
        case PacketRule::HeaderShort: return "the file has " + N(p.found) + " bytes, fewer than the 64 of a header";
        case PacketRule::HeaderMagic: return "the header does not begin with \"Velkaron.Packet \"";
        case PacketRule::HeaderLineEnd: return "no CR LF within the 64 bytes of the header";
        case PacketRule::HeaderNumbers:
            return "the header does not hold two decimal numbers (no sign, no leading zero, 32 bits) "
                   "separated by one space";
        case PacketRule::HeaderPadding: return "the header holds something other than spaces after its CR LF";
        case PacketRule::IndexOffset: return "the index offset " + N(p.found) + " lies inside the header";
        case PacketRule::PacketSize:
            return "the file has " + N(p.found) + " bytes, but the header claims " + N(p.expected) +
                   " (index offset plus index length)";
        case PacketRule::LineTooLong: return "the line is longer than " + N(kMaxIndexLine) + " bytes";
        case PacketRule::LineBreak: return "a lone CR or LF: the line does not end with CR LF";
        case PacketRule::IndexEnd: return "the last line of the index does not end with CR LF";
        case PacketRule::LineKind: return "the line begins with neither \"#D,\" nor \"#F,\"";
        case PacketRule::LineFields: return "the line has fewer than four fields";
        case PacketRule::LineNumbers:
            return "a number of the line is not a 32-bit decimal without sign or leading zero";
        case PacketRule::FolderLength: return "a folder line's second number is not 0";
        case PacketRule::PathAbsolute: return "the path is absolute (a leading backslash or a drive letter)";
        case PacketRule::PathEmpty: return "the path or one of its components is empty";
        case PacketRule::PathDot: return "the path holds a \".\" or \"..\" component";
        case PacketRule::PathBadChar: return "the path holds a NUL or a \"/\"";
        case PacketRule::PathIllFormed: return "the path holds a lead byte without its trail byte";
        case PacketRule::FilePastData:
            return "the file's data ends at " + N(p.found) + ", past the data area's end at " + N(p.expected);
        case PacketRule::FileGap:
            return "file offset " + N(p.found) + " leaves a gap after the previous file's data, expected " +
                   N(p.expected);
        case PacketRule::FileOverlap:
            return "file offset " + N(p.found) + " overlaps the previous file's data, expected " + N(p.expected);
        case PacketRule::FolderOffset:
            return "folder offset " + N(p.found) + " is not that of the next file's data, " + N(p.expected);
        case PacketRule::Order:
            return "the entry is not below a folder listed before it, or a folder's entries are split up";
        case PacketRule::Duplicate: return "the same path as line " + N(p.found) + Earlier(p);
        case PacketRule::CaseClash:
            return "the same path as line " + N(p.found) + Earlier(p) + " when the case of letters is ignored";
        case PacketRule::DataLength:
            return "the file lengths add up to " + N(p.found) + ", the data area has " + N(p.expected) + " bytes";
    }
    return "unknown problem";
}

}  // namespace

std::string EscapedBytes(const std::string& bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            text += ch;
        } else {
            text += "\\x";
            text += kHex[c >> 4];
            text += kHex[c & 0xF];
        }
    }
    return text;
}

std::string DescribeProblemInEnglish(const PacketProblem& problem) {
    std::string text;
    if (problem.line > 0) {
        text = "index line " + N(problem.line);
        if (!problem.text.empty()) text += " (" + EscapedBytes(problem.text) + ")";
        text += ": ";
    }
    return text + RuleText(problem);
}

}  // namespace velkaron_reader
