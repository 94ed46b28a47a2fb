// The main window's moves: opening a packet, showing a folder in the list, the tree
// and the address field together, going up or to a typed path, and the texts that
// follow (status bar, title, recent packets in the 文件 menu).
#include "viewer/MainWindow.h"

#include <commctrl.h>

#include <vector>

#include "viewer/ViewDialogs.h"
#include "viewer/WideText.h"
#include "viewer/resource.h"

bool CMainWindow::OpenPacket(const std::wstring& path) {
    const std::wstring full = FullPath(path);
    CPacketView opened;
    std::string error;
    if (!opened.Open(Utf8(full), error)) {
        ViewMessage(m_hWnd, L"无法打开数据包。\r\n\r\n" + Wide(error), MB_ICONERROR);
        return false;
    }
    m_view = std::move(opened);
    m_strPacket = full;
    m_tree.Reset(&m_view, FileNameOf(full));
    ShowFolder(kRootFolder);
    m_settings.AddRecent(full);
    m_settings.openFolder = FolderOf(full);
    UpdateRecentMenu();
    UpdateTitle();
    ::SetFocus(m_list.Handle());
    return true;
}

void CMainWindow::ShowFolder(std::size_t folder, bool syncTree) {
    m_folder = folder;
    m_list.Show(&m_view, folder);
    const std::wstring address = m_view.IsOpen() ? L"\\" + Wide(m_view.Path(folder)) : std::wstring();
    ::SetWindowTextW(m_hAddress, address.c_str());
    if (syncTree) {
        m_bShowingFolder = true;
        m_tree.Select(folder);
        m_bShowingFolder = false;
    }
    UpdateStatus();
}

void CMainWindow::GoUp() {
    if (!m_view.IsOpen() || m_folder == kRootFolder) return;
    const std::size_t from = m_folder;
    ShowFolder(m_view.Parent(from));
    m_list.SelectIndex(from);
}

void CMainWindow::GoToAddress() {
    if (!m_view.IsOpen()) return;
    std::size_t folder = kRootFolder;
    const std::wstring address = WindowTextOf(m_hAddress);
    if (!m_view.FindFolder(Utf8(address), folder) && !FindFolderIgnoringCase(address, folder)) {
        ViewMessage(m_hWnd, L"数据包中没有文件夹 " + address, MB_ICONWARNING);
        return;
    }
    ShowFolder(folder);
    ::SetFocus(m_list.Handle());
}

// As Windows finds folders: name by name, letters of any case, "\" or "/" between.
bool CMainWindow::FindFolderIgnoringCase(const std::wstring& address, std::size_t& folder) const {
    folder = kRootFolder;
    for (std::size_t start = 0; start < address.size();) {
        std::size_t end = address.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = address.size();
        const std::wstring name = address.substr(start, end - start);
        start = end + 1;
        if (name.empty()) continue;
        bool found = false;
        for (std::size_t child : m_view.Children(folder)) {
            if (m_view.IsFolder(child) && ::lstrcmpiW(Wide(m_view.Name(child)).c_str(), name.c_str()) == 0) {
                folder = child;
                found = true;
                break;
            }
        }
        if (!found) return false;
    }
    return true;
}

void CMainWindow::OpenFocused() {
    std::size_t index = 0;
    if (!m_view.IsOpen() || !m_list.FocusedIndex(index)) return;
    if (m_view.IsFolder(index)) {
        ShowFolder(index);
    } else {
        OpenFile(index);
    }
}

void CMainWindow::UpdateStatus() {
    std::wstring count, selection;
    if (!m_view.IsOpen()) {
        count = L"没有打开的数据包";
    } else {
        count = GroupedNumber(static_cast<std::int64_t>(m_list.Rows())) + L" 个项目";
        std::int64_t bytes = 0;
        const std::size_t selected = m_list.SelectedCount(bytes);
        if (selected > 0) {
            selection = L"已选择 " + GroupedNumber(static_cast<std::int64_t>(selected)) + L" 个项目, " + ShortSize(bytes);
        }
    }
    ::SendMessageW(m_hStatus, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(count.c_str()));
    ::SendMessageW(m_hStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(selection.c_str()));
}

void CMainWindow::UpdateTitle() {
    const std::wstring title = m_strPacket.empty() ? std::wstring(kViewTitle) : FileNameOf(m_strPacket) + L" - " + kViewTitle;
    ::SetWindowTextW(m_hWnd, title.c_str());
}

void CMainWindow::UpdateRecentMenu() {
    HMENU hFile = ::GetSubMenu(::GetMenu(m_hWnd), 0);
    for (int id = IDM_RECENT_FIRST; id <= IDM_RECENT_LAST; ++id) ::DeleteMenu(hFile, static_cast<UINT>(id), MF_BYCOMMAND);
    // The recent packets stand between separators of their own, above 退出.
    const int at = ::GetMenuItemCount(hFile) - 2;
    if (!m_settings.recent.empty()) {
        ::InsertMenuW(hFile, static_cast<UINT>(at), MF_BYPOSITION | MF_SEPARATOR, IDM_RECENT_LAST, nullptr);
    }
    for (std::size_t n = 0; n < m_settings.recent.size() && n < IDM_RECENT_LAST - IDM_RECENT_FIRST; ++n) {
        const std::wstring text = L"&" + std::to_wstring(n + 1) + L" " + m_settings.recent[n];
        ::InsertMenuW(hFile, static_cast<UINT>(at + static_cast<int>(n)), MF_BYPOSITION | MF_STRING,
                      static_cast<UINT_PTR>(IDM_RECENT_FIRST + static_cast<int>(n)), text.c_str());
    }
}
