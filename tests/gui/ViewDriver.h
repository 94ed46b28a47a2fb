// Drives a copy of VelkaronView.exe from outside, as a user (or another program)
// would: its main window found by class, its panes by control id, keys posted to
// them, list and tree texts read across processes through memory in the program.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class CViewProcess {
public:
    CViewProcess() = default;
    // Ends the process when it is still running.
    ~CViewProcess();
    CViewProcess(const CViewProcess&) = delete;
    CViewProcess& operator=(const CViewProcess&) = delete;

    // Starts `exe` with `argument` (none when empty) and waits for its main window.
    bool Start(const std::wstring& exe, const std::wstring& argument);
    HWND Window() const { return m_hWindow; }
    HWND Pane(int nId) const { return ::GetDlgItem(m_hWindow, nId); }
    DWORD ProcessId() const { return m_pi.dwProcessId; }

    // The list's rows, each row's column texts joined by '|'.
    std::vector<std::wstring> Rows() const;
    // The text of the list's row `row`, column `column`.
    std::wstring Cell(int row, int column) const;
    // The text of the tree's selected item.
    std::wstring TreeSelection() const;
    std::wstring Text(int nId) const;
    bool SetText(HWND hWnd, const std::wstring& text) const;

    // Selects exactly the rows named (column 0) and focuses the first; false when one is missing.
    bool Select(const std::vector<std::wstring>& names) const;
    // Posts a key press to pane `nId` (with Ctrl or Alt held as the key's flags say).
    void Key(int nId, WPARAM key, bool alt = false) const;
    // Clicks column `column`'s header.
    void ClickHeader(int column) const;
    // Waits until the list's rows are `expected`.
    bool WaitForRows(const std::vector<std::wstring>& expected, DWORD timeoutMs = 10000) const;
    // A visible dialog box of the process whose title is `title`; null after `timeoutMs`.
    HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs = 20000) const;
    // Clicks button `nId` of dialog `hDialog` (posted: it may start a modal loop).
    static void Click(HWND hDialog, int nId);
    // The longest static text of a dialog box: a message box's message.
    static std::wstring MessageText(HWND hDialog);
    bool WaitForExit(DWORD timeoutMs) const;

private:
    PROCESS_INFORMATION m_pi = {};
    HWND m_hWindow = nullptr;
};

// `text` with its column separators, for expectations: Row({L"a", L"1"}) is L"a|1".
std::wstring Row(const std::vector<std::wstring>& cells);
