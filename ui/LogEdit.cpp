// The capped append to the log. Line numbers and character positions are the
// edit control's own: wrapped pieces are lines, and so is the empty line after
// a final line break.
#include "ui/LogEdit.h"

namespace {

// An edit control takes no more than its limit (30,000 characters until it is
// given one) and silently drops the rest of an append that would pass it.
void MakeRoomFor(const CEdit* pEdit, std::size_t nBytes) {
    LRESULT nLimit = pEdit->Send(EM_GETLIMITTEXT);
    LRESULT nLength = pEdit->Send(WM_GETTEXTLENGTH);
    if (nLength + static_cast<LRESULT>(nBytes) > nLimit) pEdit->Send(EM_SETLIMITTEXT, 0);  // 0: no limit
}

std::size_t CountLineBreaks(const std::string& text) {
    std::size_t n = 0;
    for (std::size_t pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", pos + 2)) ++n;
    return n;
}

// The first of `texts` that can still be in the log once the last one is appended.
// A text followed, before the last, by nMaxLines line breaks lies wholly above the
// last nMaxLines lines (each line break starts a line, and a line holds at least
// one display line), so the cap before the last append deletes it whatever the
// wrapping. Breaks split between two texts are not counted: that keeps more, never less.
std::size_t FirstKeptText(const std::vector<std::string>& texts, int nMaxLines) {
    std::size_t nBreaks = 0;
    for (std::size_t i = texts.size() - 1; i-- > 0;) {
        if (nBreaks >= static_cast<std::size_t>(nMaxLines)) return i + 1;
        nBreaks += CountLineBreaks(texts[i]);
    }
    return 0;
}

}  // namespace

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

    MakeRoomFor(pEdit, strText.size());
    pEdit->Send(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(strText.c_str()));
    // Past the end when positions count characters rather than bytes; the control
    // then clamps to the end, which is where the caret belongs either way.
    pEdit->Send(EM_SETSEL, static_cast<WPARAM>(nEnd + static_cast<LRESULT>(strText.size())), -1);
    return 1;
}

int AppendCappedTexts(CEdit* pEdit, const std::vector<std::string>& texts, int nMaxLines) {
    if (pEdit == nullptr || pEdit->GetSafeHwnd() == nullptr) return 0;
    if (texts.empty()) return 1;

    // Only the last lines survive the cap before the last append, and those lines
    // wrap the same whether their texts came one by one or joined: every text but
    // the last goes in as one append, the last on its own, so that the ordinary cap
    // before it makes the final cut.
    const std::size_t nLast = texts.size() - 1;
    std::string strJoined;
    for (std::size_t i = FirstKeptText(texts, nMaxLines); i < nLast; ++i) strJoined += texts[i];
    if (!strJoined.empty()) AppendCappedText(pEdit, strJoined, nMaxLines);
    return AppendCappedText(pEdit, texts[nLast], nMaxLines);
}
