// The log window: a thin handle to an edit control and the capped append that
// keeps it at a fixed number of display lines while following the newest text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// An edit control of a dialog, by handle; the dialog owns the window.
class CEdit {
public:
    // Binds to the window `hWnd` (null unbinds).
    void Attach(HWND hWnd) { m_hWnd = hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    // Sends `nMsg` to the control and returns its result.
    LRESULT Send(UINT nMsg, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(m_hWnd, nMsg, wParam, lParam);
    }

private:
    HWND m_hWnd = nullptr;
};

// Appends `strText` (which carries its own line ends) at the end of the edit
// control's text, first deleting the oldest display lines, wrapped pieces
// counted, beyond `nMaxLines`; leaves the caret at the end. 0 when `pEdit` is
// null or bound to no window, else 1.
int AppendCappedText(CEdit* pEdit, const std::string& strText, int nMaxLines);
// Leaves the control as AppendCappedText would, given each of `texts` in turn,
// in at most two appends however many texts there are. 0 when `pEdit` is null
// or bound to no window, else 1.
int AppendCappedTexts(CEdit* pEdit, const std::vector<std::string>& texts, int nMaxLines);
