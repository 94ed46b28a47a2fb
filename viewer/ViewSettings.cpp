// The browser's settings through the project's INI store. Values are UTF-8, so a path
// outside the system's code page comes back as it was.
#include "viewer/ViewSettings.h"

#include <cstdlib>

#include "settings/IniFile.h"
#include "settings/ProgramDir.h"
#include "viewer/WideText.h"

namespace {

const char kFileName[] = "velkaron-view.ini";
const char kWindow[] = "Window";
const char kRecent[] = "Recent";
const char kFolders[] = "Folders";

std::string IniPath() {
    std::string dir;
    GetProgramDir(dir);
    return dir + kFileName;
}

int IntOf(CIniFile& ini, const char* section, const std::string& key, int fallback) {
    const std::string* value = ini.GetString(section, key);
    if (value == nullptr || value->empty()) return fallback;
    char* end = nullptr;
    const long number = std::strtol(value->c_str(), &end, 10);
    return *end == '\0' ? static_cast<int>(number) : fallback;
}

std::wstring TextOf(CIniFile& ini, const char* section, const std::string& key) {
    const std::string* value = ini.GetString(section, key);
    return value != nullptr ? Wide(*value) : std::wstring();
}

}  // namespace

void ViewSettings::Load() {
    CIniFile ini;
    if (!ini.Load(IniPath())) return;
    window.left = IntOf(ini, kWindow, "Left", 0);
    window.top = IntOf(ini, kWindow, "Top", 0);
    window.right = window.left + IntOf(ini, kWindow, "Width", 0);
    window.bottom = window.top + IntOf(ini, kWindow, "Height", 0);
    maximized = IntOf(ini, kWindow, "Maximized", 0) != 0;
    treeWidth = IntOf(ini, kWindow, "TreeWidth", 0);
    columnWidths.clear();
    for (int column = 0; column < 4; ++column) {
        columnWidths.push_back(IntOf(ini, kWindow, "Column" + std::to_string(column), 0));
    }
    recent.clear();
    for (std::size_t n = 0; n < kRecent; ++n) {
        std::wstring packet = TextOf(ini, kRecent, "Packet" + std::to_string(n));
        if (!packet.empty()) recent.push_back(packet);
    }
    openFolder = TextOf(ini, kFolders, "Open");
    extractFolder = TextOf(ini, kFolders, "Extract");
}

bool ViewSettings::Save() const {
    CIniFile ini;
    ini.SetInt(kWindow, "Left", window.left);
    ini.SetInt(kWindow, "Top", window.top);
    ini.SetInt(kWindow, "Width", window.right - window.left);
    ini.SetInt(kWindow, "Height", window.bottom - window.top);
    ini.SetInt(kWindow, "Maximized", maximized ? 1 : 0);
    ini.SetInt(kWindow, "TreeWidth", treeWidth);
    for (std::size_t column = 0; column < columnWidths.size(); ++column) {
        ini.SetInt(kWindow, "Column" + std::to_string(column), columnWidths[column]);
    }
    for (std::size_t n = 0; n < recent.size() && n < kRecent; ++n) {
        ini.SetString(kRecent, "Packet" + std::to_string(n), Utf8(recent[n]));
    }
    ini.SetString(kFolders, "Open", Utf8(openFolder));
    ini.SetString(kFolders, "Extract", Utf8(extractFolder));
    return ini.Save(IniPath());
}

void ViewSettings::AddRecent(const std::wstring& packet) {
    for (auto it = recent.begin(); it != recent.end();) {
        it = ::lstrcmpiW(it->c_str(), packet.c_str()) == 0 ? recent.erase(it) : it + 1;
    }
    recent.insert(recent.begin(), packet);
    if (recent.size() > kRecent) recent.resize(kRecent);
}
