// What the browser keeps between runs, in velkaron-view.ini beside the program (never
// in velkaron.ini, which every pack rewrites whole): the window's place and size, the
// tree's width, the list's column widths, the recent packets and the last folders used.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct ViewSettings {
    RECT window = {0, 0, 0, 0};  // empty: the system places the window
    bool maximized = false;
    int treeWidth = 0;              // 0: the default
    std::vector<int> columnWidths;  // one per column, 0: the default
    std::vector<std::wstring> recent;  // the most recent first
    std::wstring openFolder;           // where 打开 last looked
    std::wstring extractFolder;        // the folder last extracted into

    // Reads the file; missing or unreadable values keep their defaults.
    void Load();
    // Writes every value back; false when the file cannot be written.
    bool Save() const;
    // Puts `packet` first among the recent packets (at most kRecent of them).
    void AddRecent(const std::wstring& packet);

    static constexpr std::size_t kRecent = 8;
};
