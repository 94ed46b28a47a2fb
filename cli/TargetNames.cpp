// Name rules for the files and folders that extract creates.
#include "cli/TargetNames.h"

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, before any extension; trailing
// spaces do not help.
bool IsDeviceName(const std::string& name) {
    std::string base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base) c = Upper(c);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (base == device) return true;
    }
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

const char* TargetNameProblem(const std::string& name, bool windowsRules, NameCoding coding) {
    if (name.empty() || name == "." || name == "..") return "名称为空或是 \".\" \"..\"";
    if (name.size() == 2 && name[1] == ':' && ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
        return "名称是盘符";
    }
    unsigned char last = 0;
    for (std::size_t pos = 0; pos < name.size(); ++pos) {
        unsigned char c = static_cast<unsigned char>(name[pos]);
        if (IsLeadByteIn(c, coding)) {
            if (pos + 1 == name.size() || !IsTrailByteIn(static_cast<unsigned char>(name[pos + 1]), coding)) {
                return "名称含有不完整的双字节字符";
            }
            last = 0x80;  // a double-byte character
            ++pos;
            continue;
        }
        last = c;
        if (c == '\0' || c == '/' || c == '\\') return "名称含有 NUL、\"/\" 或 \"\\\"";
        if (windowsRules && (c < 0x20 || c == 0x7F)) return "名称含有控制字符";
        if (windowsRules && std::string("<>:\"|?*").find(static_cast<char>(c)) != std::string::npos) {
            return "名称含有 Windows 不允许的字符 <>:\"|?*";
        }
    }
    if (windowsRules && (last == '.' || last == ' ')) return "名称以点或空格结尾, Windows 会把它去掉";
    if (windowsRules && IsDeviceName(name)) return "名称是 Windows 的设备名";
    return nullptr;
}
