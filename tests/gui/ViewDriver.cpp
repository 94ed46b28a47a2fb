// The browser's driver: window search by class, posted keys, and the list view and
// tree view messages whose structures must live in the program's own memory.
#include "tests/gui/ViewDriver.h"

#include <commctrl.h>

#include "tests/gui/GuiDriver.h"
#include "viewer/resource.h"

namespace {

// A block of memory inside another process, for messages that carry pointers.
class CRemoteMemory {
public:
    CRemoteMemory(HANDLE hProcess, std::size_t size)
        : m_hProcess(hProcess),
          m_p(::VirtualAllocEx(hProcess, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~CRemoteMemory() {
        if (m_p != nullptr) ::VirtualFreeEx(m_hProcess, m_p, 0, MEM_RELEASE);
    }
    CRemoteMemory(const CRemoteMemory&) = delete;
    CRemoteMemory& operator=(const CRemoteMemory&) = delete;
    char* At(std::size_t offset) const { return static_cast<char*>(m_p) + offset; }
    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        return m_p != nullptr && ::WriteProcessMemory(m_hProcess, At(offset), data, size, nullptr);
    }
    bool Read(std::size_t offset, void* data, std::size_t size) const {
        return m_p != nullptr && ::ReadProcessMemory(m_hProcess, At(offset), data, size, nullptr);
    }

private:
    HANDLE m_hProcess;
    void* m_p;
};

constexpr std::size_t kTextChars = 1024;
constexpr DWORD kAnswerMs = 5000;

LRESULT Send(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(hWnd, msg, wParam, lParam, SMTO_ABORTIFHUNG, kAnswerMs, &result);
    return static_cast<LRESULT>(result);
}

struct WindowSearch {
    DWORD processId;
    const wchar_t* className;
    const wchar_t* title;
    HWND found;
};

BOOL CALLBACK Collect(HWND hWnd, LPARAM lParam) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    wchar_t className[64] = L"";
    ::GetClassNameW(hWnd, className, 64);
    if (processId != search->processId || !::IsWindowVisible(hWnd) || lstrcmpW(className, search->className) != 0) {
        return TRUE;
    }
    if (search->title != nullptr) {
        wchar_t title[256] = L"";
        ::GetWindowTextW(hWnd, title, 256);
        if (lstrcmpW(title, search->title) != 0) return TRUE;
    }
    search->found = hWnd;
    return FALSE;
}

HWND FindWindowOf(DWORD processId, const wchar_t* className, const wchar_t* title) {
    WindowSearch search = {processId, className, title, nullptr};
    ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK LongestStatic(HWND hWnd, LPARAM lParam) {
    wchar_t className[16] = L"";
    ::GetClassNameW(hWnd, className, 16);
    if (lstrcmpiW(className, L"Static") != 0) return TRUE;
    wchar_t text[2048] = L"";
    Send(hWnd, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    std::wstring* longest = reinterpret_cast<std::wstring*>(lParam);
    if (lstrlenW(text) > static_cast<int>(longest->size())) *longest = text;
    return TRUE;
}

}  // namespace

std::wstring Row(const std::vector<std::wstring>& cells) {
    std::wstring row;
    for (std::size_t n = 0; n < cells.size(); ++n) row += (n == 0 ? L"" : L"|") + cells[n];
    return row;
}

CViewProcess::~CViewProcess() {
    if (m_pi.hProcess == nullptr) return;
    if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(m_pi.hProcess, 1);
        ::WaitForSingleObject(m_pi.hProcess, 10000);
    }
    ::CloseHandle(m_pi.hThread);
    ::CloseHandle(m_pi.hProcess);
}

bool CViewProcess::Start(const std::wstring& exe, const std::wstring& argument) {
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    std::wstring command = L"\"" + exe + L"\"";
    if (!argument.empty()) command += L" \"" + argument + L"\"";
    if (!::CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi)) {
        m_pi = {};
        return false;
    }
    WaitUntil([this] { return (m_hWindow = FindWindowOf(m_pi.dwProcessId, L"VelkaronView", nullptr)) != nullptr; },
              30000);
    return m_hWindow != nullptr;
}

std::wstring CViewProcess::Cell(int row, int column) const {
    CRemoteMemory memory(m_pi.hProcess, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<LPWSTR>(memory.At(sizeof(LVITEMW)));
    item.cchTextMax = kTextChars;
    if (!memory.Write(0, &item, sizeof item)) return std::wstring();
    const LRESULT n = Send(Pane(IDC_VIEW_LIST), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                           reinterpret_cast<LPARAM>(memory.At(0)));
    std::wstring text(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) memory.Read(sizeof(LVITEMW), &text[0], static_cast<std::size_t>(n) * sizeof(wchar_t));
    return text;
}

std::vector<std::wstring> CViewProcess::Rows() const {
    std::vector<std::wstring> rows;
    const int count = static_cast<int>(Send(Pane(IDC_VIEW_LIST), LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::wstring> cells;
        for (int column = 0; column < 4; ++column) cells.push_back(Cell(row, column));
        rows.push_back(Row(cells));
    }
    return rows;
}

std::wstring CViewProcess::TreeSelection() const {
    HWND hTree = Pane(IDC_VIEW_TREE);
    const LPARAM hItem = Send(hTree, TVM_GETNEXTITEM, TVGN_CARET, 0);
    if (hItem == 0) return std::wstring();
    CRemoteMemory memory(m_pi.hProcess, sizeof(TVITEMW) + kTextChars * sizeof(wchar_t));
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(hItem);
    item.pszText = reinterpret_cast<LPWSTR>(memory.At(sizeof(TVITEMW)));
    item.cchTextMax = kTextChars;
    std::wstring text(kTextChars, L'\0');
    if (!memory.Write(0, &item, sizeof item) || !Send(hTree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(memory.At(0))) ||
        !memory.Read(sizeof(TVITEMW), &text[0], kTextChars * sizeof(wchar_t))) {
        return std::wstring();
    }
    return text.c_str();
}

std::wstring CViewProcess::Text(int nId) const {
    wchar_t text[2048] = L"";
    Send(Pane(nId), WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text));
    return text;
}

bool CViewProcess::SetText(HWND hWnd, const std::wstring& text) const {
    DWORD_PTR result = 0;
    return ::SendMessageTimeoutW(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                                 kAnswerMs, &result) != 0;
}

bool CViewProcess::Select(const std::vector<std::wstring>& names) const {
    HWND hList = Pane(IDC_VIEW_LIST);
    CRemoteMemory memory(m_pi.hProcess, sizeof(LVITEMW));
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = 0;
    memory.Write(0, &item, sizeof item);
    Send(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(memory.At(0)));
    const int count = static_cast<int>(Send(hList, LVM_GETITEMCOUNT, 0, 0));
    bool first = true;
    for (const std::wstring& name : names) {
        int found = -1;
        for (int row = 0; row < count && found < 0; ++row) {
            if (Cell(row, 0) == name) found = row;
        }
        if (found < 0) return false;
        item.state = LVIS_SELECTED | (first ? LVIS_FOCUSED : 0);
        memory.Write(0, &item, sizeof item);
        Send(hList, LVM_SETITEMSTATE, static_cast<WPARAM>(found), reinterpret_cast<LPARAM>(memory.At(0)));
        first = false;
    }
    ::SetForegroundWindow(m_hWindow);
    return true;
}

void CViewProcess::Key(int nId, WPARAM key, bool alt) const {
    HWND hPane = Pane(nId);
    const UINT down = alt ? WM_SYSKEYDOWN : WM_KEYDOWN;
    const UINT up = alt ? WM_SYSKEYUP : WM_KEYUP;
    const LPARAM altFlag = alt ? (1 << 29) : 0;
    ::PostMessageW(hPane, down, key, 1 | altFlag);
    ::PostMessageW(hPane, up, key, 1 | altFlag | (1u << 30) | (1u << 31));
}

void CViewProcess::ClickHeader(int column) const {
    HWND hHeader = reinterpret_cast<HWND>(Send(Pane(IDC_VIEW_LIST), LVM_GETHEADER, 0, 0));
    CRemoteMemory memory(m_pi.hProcess, sizeof(RECT));
    RECT rect = {};
    Send(hHeader, HDM_GETITEMRECT, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(memory.At(0)));
    memory.Read(0, &rect, sizeof rect);
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    ::PostMessageW(hHeader, WM_LBUTTONDOWN, MK_LBUTTON, at);
    ::PostMessageW(hHeader, WM_LBUTTONUP, 0, at);
}

bool CViewProcess::WaitForRows(const std::vector<std::wstring>& expected, DWORD timeoutMs) const {
    return WaitUntil([&] { return Rows() == expected; }, timeoutMs);
}

HWND CViewProcess::WaitForDialog(const std::wstring& title, DWORD timeoutMs) const {
    HWND hFound = nullptr;
    WaitUntil([&] { return (hFound = FindWindowOf(m_pi.dwProcessId, L"#32770", title.c_str())) != nullptr; },
              timeoutMs);
    return hFound;
}

void CViewProcess::Click(HWND hDialog, int nId) { ::PostMessageW(::GetDlgItem(hDialog, nId), BM_CLICK, 0, 0); }

std::wstring CViewProcess::MessageText(HWND hDialog) {
    std::wstring longest;
    ::EnumChildWindows(hDialog, &LongestStatic, reinterpret_cast<LPARAM>(&longest));
    return longest;
}

bool CViewProcess::WaitForExit(DWORD timeoutMs) const {
    return m_pi.hProcess != nullptr && ::WaitForSingleObject(m_pi.hProcess, timeoutMs) == WAIT_OBJECT_0;
}
