// The capped append to the log. Line numbers and character positions are the
// edit control's own: wrapped pieces are lines, and so is the empty line after
// a final line break.
#include "ui/LogEdit.h"

int AppendCappedText(CEdit* pEdit, const std::string& strText, int nMaxLines) {
    if (pEdit == nullptr || pEdit->GetSafeHwnd() == nullptr) return 0;

    LRESULT nLines = pEdit->Send(EM_GETLINECOUNT);
    pEdit->Send(WM_SETREDRAW, FALSE);
    if (nLines > nMaxLines) {
        LRESULT nCut = pEdit->Send(EM_LINEINDEX, static_cast<WPARAM>(nLines - nMaxLines));
        pEdit->Send(EM_SETSEL, 0, nCut);
        pEdit->Send(EM_SCROLLCARET);
        pEdit->Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(""));
        nLines = pEdit->Send(EM_GETLINECOUNT);
    }

    LRESULT nLast = nLines > 0 ? nLines - 1 : 0;
    LRESULT nLastStart = pEdit->Send(EM_LINEINDEX, static_cast<WPARAM>(nLast));
    LRESULT nEnd = nLastStart + pEdit->Send(EM_LINELENGTH, static_cast<WPARAM>(nLastStart));
    pEdit->Send(EM_SETSEL, static_cast<WPARAM>(nEnd), -1);
    pEdit->Send(EM_SCROLLCARET);
    pEdit->Send(WM_SETREDRAW, TRUE);

    pEdit->Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(strText.c_str()));
    // Past the end when positions count characters rather than bytes; the control
    // then clamps to the end, which is where the caret belongs either way.
    pEdit->Send(EM_SETSEL, static_cast<WPARAM>(nEnd + static_cast<LRESULT>(strText.size())), -1);
    return 1;
}
