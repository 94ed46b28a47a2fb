// The main window: its panes and their layout, the messages that move between folders,
// and the menu's commands, each a thin call into the packet's view or a job.
#include "viewer/MainWindow.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>

#include <algorithm>
#include <vector>

#include "viewer/ViewDialogs.h"
#include "viewer/WideText.h"
#include "viewer/resource.h"

const wchar_t kViewWindowClass[] = L"VelkaronView";

namespace {

// Pixels at 96 DPI scaled to the window's DPI.
int Scaled(HWND hWnd, int pixels) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const GetDpiForWindowFn getDpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    UINT dpi = getDpi != nullptr ? getDpi(hWnd) : 0;
    if (dpi == 0) {
        HDC hdc = ::GetDC(hWnd);
        dpi = static_cast<UINT>(::GetDeviceCaps(hdc, LOGPIXELSX));
        ::ReleaseDC(hWnd, hdc);
    }
    return ::MulDiv(pixels, static_cast<int>(dpi), 96);
}


const int kMenuCommands[] = {IDM_EXTRACT, IDM_CHECK, IDM_COMPARE,   IDM_PROPERTIES,
                             IDM_FIND,    IDM_UP,    IDM_OPEN_ITEM, IDM_SELECT_ALL};

}  // namespace

bool CMainWindow::Create(int nShow) {
    m_settings.Load();
    HINSTANCE hInstance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &CMainWindow::WindowProc;
    wc.hInstance = hInstance;
    wc.hIcon = ::LoadIconW(hInstance, MAKEINTRESOURCEW(IDI_VIEW));
    wc.hIconSm = static_cast<HICON>(::LoadImageW(hInstance, MAKEINTRESOURCEW(IDI_VIEW), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
    wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(IDC_ARROW)));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszMenuName = MAKEINTRESOURCEW(IDR_VIEW_MENU);
    wc.lpszClassName = kViewWindowClass;
    if (!::RegisterClassExW(&wc)) return false;
    m_hKeys = ::LoadAcceleratorsW(hInstance, MAKEINTRESOURCEW(IDR_VIEW_KEYS));

    // The last place, when it still lies on a monitor; else the system's choice.
    RECT place = m_settings.window;
    const bool placed = place.right - place.left >= 200 && place.bottom - place.top >= 150 &&
                        ::MonitorFromRect(&place, MONITOR_DEFAULTTONULL) != nullptr;
    if (m_settings.treeWidth > 0) m_treeWidth = m_settings.treeWidth;
    m_hWnd = ::CreateWindowExW(WS_EX_ACCEPTFILES, kViewWindowClass, kViewTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                               placed ? place.left : CW_USEDEFAULT, placed ? place.top : CW_USEDEFAULT,
                               placed ? place.right - place.left : 900, placed ? place.bottom - place.top : 600,
                               nullptr, nullptr, hInstance, this);
    if (m_hWnd == nullptr) return false;
    ::ShowWindow(m_hWnd, m_settings.maximized ? SW_SHOWMAXIMIZED : nShow);
    ::UpdateWindow(m_hWnd);
    return true;
}

LRESULT CALLBACK CMainWindow::WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    CMainWindow* self = reinterpret_cast<CMainWindow*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (nMsg == WM_NCCREATE) {
        self = static_cast<CMainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->m_hWnd = hWnd;
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    if (self == nullptr) return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    return self->OnMessage(nMsg, wParam, lParam);
}

LRESULT CMainWindow::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    switch (nMsg) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        ::SendMessageW(m_hStatus, WM_SIZE, 0, 0);
        Layout();
        return 0;
    case WM_COMMAND:
        if (lParam == 0 || HIWORD(wParam) == 0) {
            OnCommand(LOWORD(wParam));
            return 0;
        }
        break;
    case WM_NOTIFY:
        return OnNotify(reinterpret_cast<const NMHDR*>(lParam));
    case WM_INITMENUPOPUP:
        for (int id : kMenuCommands) {
            ::EnableMenuItem(reinterpret_cast<HMENU>(wParam), static_cast<UINT>(id),
                             MF_BYCOMMAND | (m_view.IsOpen() ? MF_ENABLED : MF_GRAYED));
        }
        return 0;
    case WM_DROPFILES: {
        HDROP hDrop = reinterpret_cast<HDROP>(wParam);
        std::vector<wchar_t> path(::DragQueryFileW(hDrop, 0, nullptr, 0) + 1, L'\0');
        const UINT n = ::DragQueryFileW(hDrop, 0, path.data(), static_cast<UINT>(path.size()));
        ::DragFinish(hDrop);
        if (n > 0) OpenPacket(std::wstring(path.data(), n));
        return 0;
    }
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wParam) == m_hWnd && LOWORD(lParam) == HTCLIENT && OverSplitter()) {
            ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(IDC_SIZEWE))));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        if (OverSplitter()) {
            m_bSplitting = true;
            ::SetCapture(m_hWnd);
        }
        return 0;
    case WM_MOUSEMOVE:
        if (m_bSplitting) {
            RECT client;
            ::GetClientRect(m_hWnd, &client);
            const int x = static_cast<short>(LOWORD(lParam));
            m_treeWidth = std::max(Scaled(m_hWnd, 60), std::min<int>(x, client.right - Scaled(m_hWnd, 120)));
            Layout();
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (m_bSplitting) {
            m_bSplitting = false;
            if (nMsg == WM_LBUTTONUP) ::ReleaseCapture();
        }
        return 0;
    case 0x02E0: {  // WM_DPICHANGED: the system's suggested place at the new DPI
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        ::SetWindowPos(m_hWnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                       suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
        ApplyFont();
        Layout();
        return 0;
    }
    case WM_SETFOCUS:
        ::SetFocus(m_list.Handle());
        return 0;
    case WM_CLOSE:
        OnClose();
        return 0;
    case WM_DESTROY:
        if (m_hFont != nullptr) ::DeleteObject(m_hFont);
        m_hFont = nullptr;
        ::PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return ::DefWindowProcW(m_hWnd, nMsg, wParam, lParam);
}

void CMainWindow::OnCreate() {
    HINSTANCE hInstance = ::GetModuleHandleW(nullptr);
    m_tree.Create(m_hWnd, IDC_VIEW_TREE);
    m_hAddress = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                   0, 0, 0, 0, m_hWnd, reinterpret_cast<HMENU>(IDC_VIEW_ADDRESS), hInstance, nullptr);
    m_list.Create(m_hWnd, IDC_VIEW_LIST, m_settings.columnWidths);
    m_hStatus = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, m_hWnd,
                                  reinterpret_cast<HMENU>(IDC_VIEW_STATUS), hInstance, nullptr);
    ApplyFont();
    UpdateRecentMenu();
    UpdateStatus();
}

void CMainWindow::ApplyFont() {
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return;
    // The message font is given at the system's DPI; the window may stand on another monitor.
    HDC hdc = ::GetDC(nullptr);
    const int systemDpi = ::GetDeviceCaps(hdc, LOGPIXELSY);
    ::ReleaseDC(nullptr, hdc);
    metrics.lfMessageFont.lfHeight = ::MulDiv(metrics.lfMessageFont.lfHeight, Scaled(m_hWnd, 96), systemDpi);
    HFONT hFont = ::CreateFontIndirectW(&metrics.lfMessageFont);
    if (hFont == nullptr) return;
    for (HWND hChild : {m_tree.Handle(), m_hAddress, m_list.Handle(), m_hStatus}) {
        ::SendMessageW(hChild, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), TRUE);
    }
    if (m_hFont != nullptr) ::DeleteObject(m_hFont);
    m_hFont = hFont;
}

void CMainWindow::Layout() {
    RECT client, status;
    ::GetClientRect(m_hWnd, &client);
    ::GetWindowRect(m_hStatus, &status);
    const int statusHeight = status.bottom - status.top;
    const int gap = Scaled(m_hWnd, 4);
    const int addressHeight = Scaled(m_hWnd, 24);
    const int paneTop = addressHeight + gap;
    const int paneHeight = std::max(0, static_cast<int>(client.bottom) - statusHeight - paneTop);
    const int treeWidth = std::max(0, std::min<int>(m_treeWidth, client.right - gap));
    ::MoveWindow(m_hAddress, 0, 0, client.right, addressHeight, TRUE);
    ::MoveWindow(m_tree.Handle(), 0, paneTop, treeWidth, paneHeight, TRUE);
    ::MoveWindow(m_list.Handle(), treeWidth + gap, paneTop, std::max<int>(0, client.right - treeWidth - gap), paneHeight,
                 TRUE);
    int parts[2] = {std::max(100, static_cast<int>(client.right) / 3), -1};
    ::SendMessageW(m_hStatus, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

// The bar between tree and list, the one stretch of the client area that no pane
// covers but the thin one under the address field.
bool CMainWindow::OverSplitter() const {
    POINT at;
    RECT tree;
    if (!::GetCursorPos(&at) || !::GetWindowRect(m_tree.Handle(), &tree)) return false;
    return at.y >= tree.top && at.y < tree.bottom && at.x >= tree.right;
}

void CMainWindow::OnClose() {
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (::GetWindowPlacement(m_hWnd, &placement)) {
        m_settings.window = placement.rcNormalPosition;
        m_settings.maximized = placement.showCmd == SW_SHOWMAXIMIZED;
    }
    m_settings.treeWidth = m_treeWidth;
    m_settings.columnWidths = m_list.ColumnWidths();
    m_settings.Save();
    ::DestroyWindow(m_hWnd);
}

bool CMainWindow::PreTranslate(MSG& msg) {
    if (m_hWnd == nullptr || (msg.hwnd != m_hWnd && !::IsChild(m_hWnd, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.hwnd == m_hAddress) {
        if (msg.wParam == VK_RETURN) {
            GoToAddress();
            return true;
        }
        if (msg.wParam == VK_ESCAPE) {
            ShowFolder(m_folder, false);
            ::SetFocus(m_list.Handle());
            return true;
        }
        // Ctrl+A selects the field's text there, not the list's rows.
        if (msg.wParam == 'A' && ::GetKeyState(VK_CONTROL) < 0) {
            ::SendMessageW(m_hAddress, EM_SETSEL, 0, -1);
            return true;
        }
    }
    // Alt+Enter as the key arrives, whether or not the keyboard's state shows Alt.
    if (msg.message == WM_SYSKEYDOWN && msg.wParam == VK_RETURN && (msg.lParam & (1 << 29))) {
        OnCommand(IDM_PROPERTIES);
        return true;
    }
    // Enter and Backspace sent to the window itself act as in the list.
    if (msg.message == WM_KEYDOWN && msg.hwnd == m_hWnd && (msg.wParam == VK_RETURN || msg.wParam == VK_BACK)) {
        OnCommand(msg.wParam == VK_RETURN ? IDM_OPEN_ITEM : IDM_UP);
        return true;
    }
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB) {
        FocusNextPane(::GetKeyState(VK_SHIFT) < 0);
        return true;
    }
    return m_hKeys != nullptr && ::TranslateAcceleratorW(m_hWnd, m_hKeys, &msg) != 0;
}

void CMainWindow::FocusNextPane(bool backwards) {
    const HWND panes[] = {m_tree.Handle(), m_hAddress, m_list.Handle()};
    HWND hFocus = ::GetFocus();
    int at = 2;
    for (int n = 0; n < 3; ++n) {
        if (panes[n] == hFocus || ::IsChild(panes[n], hFocus)) at = n;
    }
    HWND hNext = panes[(at + (backwards ? 2 : 1)) % 3];
    ::SetFocus(hNext);
    if (hNext == m_hAddress) ::SendMessageW(m_hAddress, EM_SETSEL, 0, -1);
}

LRESULT CMainWindow::OnNotify(const NMHDR* pHeader) {
    LRESULT result = 0;
    if (pHeader->hwndFrom == m_list.Handle()) {
        if (m_list.OnNotify(pHeader, result)) {
            if (pHeader->code == LVN_COLUMNCLICK) UpdateStatus();
            return result;
        }
        switch (pHeader->code) {
        case LVN_ITEMACTIVATE:
            OpenFocused();
            return 0;
        case LVN_ITEMCHANGED:
        case LVN_ODSTATECHANGED:
            UpdateStatus();
            return 0;
        case LVN_KEYDOWN:
            if (reinterpret_cast<const NMLVKEYDOWN*>(pHeader)->wVKey == VK_BACK) GoUp();
            return 0;
        default:
            return 0;
        }
    }
    if (pHeader->hwndFrom == m_tree.Handle()) {
        if (m_tree.OnNotify(pHeader, result)) return result;
        if (pHeader->code == TVN_SELCHANGEDW && !m_bShowingFolder) {
            const NMTREEVIEWW* tree = reinterpret_cast<const NMTREEVIEWW*>(pHeader);
            if (tree->itemNew.hItem != nullptr) ShowFolder(CFolderTree::FolderOf(tree->itemNew.lParam), false);
        }
        return 0;
    }
    return 0;
}

void CMainWindow::OnCommand(int nId) {
    if (nId >= IDM_RECENT_FIRST && nId <= IDM_RECENT_LAST) {
        const std::size_t n = static_cast<std::size_t>(nId - IDM_RECENT_FIRST);
        if (n < m_settings.recent.size()) OpenPacket(std::wstring(m_settings.recent[n]));
        return;
    }
    if (nId == IDM_OPEN) return CommandOpen();
    if (nId == IDM_EXIT) return OnClose();
    if (nId == IDM_ABOUT) return ShowAbout(m_hWnd);
    if (!m_view.IsOpen()) return;
    switch (nId) {
    case IDM_EXTRACT: CommandExtract(); break;
    case IDM_CHECK: CommandCheck(); break;
    case IDM_COMPARE: CommandCompare(); break;
    case IDM_PROPERTIES: ShowProperties(m_hWnd, m_view); break;
    case IDM_FIND: CommandFind(); break;
    case IDM_UP: GoUp(); break;
    case IDM_OPEN_ITEM: OpenFocused(); break;
    case IDM_SELECT_ALL: m_list.SelectAll(); break;
    default: break;
    }
}
