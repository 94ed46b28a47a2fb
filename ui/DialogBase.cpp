// Message routing of our dialogs: the object pointer travels in through
// DialogBoxParamA, lives in the window's DWLP_USER slot and leaves at WM_NCDESTROY.
#include "ui/DialogBase.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// True when the template places the dialog nowhere of its own: x and y both 0 and
// no DS_CENTER, which the dialog manager would honour itself.
bool TemplateLeavesPlaceOpen(int nTemplateId) {
    HMODULE hModule = ::GetModuleHandleA(nullptr);
    HRSRC hResource = ::FindResourceA(hModule, MAKEINTRESOURCEA(nTemplateId), MAKEINTRESOURCEA(5));  // RT_DIALOG
    const BYTE* pTemplate =
        hResource != nullptr ? static_cast<const BYTE*>(::LockResource(::LoadResource(hModule, hResource))) : nullptr;
    if (pTemplate == nullptr) return false;
    // An extended template starts with version 1 and signature FFFF; style, x and y
    // stand at other offsets in the two layouts.
    WORD nVersion, nSignature;
    std::memcpy(&nVersion, pTemplate, 2);
    std::memcpy(&nSignature, pTemplate + 2, 2);
    const bool bExtended = nVersion == 1 && nSignature == 0xFFFF;
    DWORD nStyle;
    short x, y;
    std::memcpy(&nStyle, pTemplate + (bExtended ? 12 : 0), 4);
    std::memcpy(&x, pTemplate + (bExtended ? 18 : 10), 2);
    std::memcpy(&y, pTemplate + (bExtended ? 20 : 12), 2);
    return x == 0 && y == 0 && (nStyle & DS_CENTER) == 0;
}

// Centres `hWnd` over its owner when the owner shows, else on the work area of its
// monitor, and keeps it within that work area, its top-left corner first.
void CentreWindow(HWND hWnd) {
    HWND hOwner = ::GetWindow(hWnd, GW_OWNER);
    const bool bOverOwner = hOwner != nullptr && ::IsWindowVisible(hOwner) && !::IsIconic(hOwner);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!::GetMonitorInfoA(::MonitorFromWindow(bOverOwner ? hOwner : hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& area = monitor.rcWork;
    RECT centre = area;
    if (bOverOwner) ::GetWindowRect(hOwner, &centre);
    RECT rect;
    ::GetWindowRect(hWnd, &rect);
    const int nWidth = rect.right - rect.left;
    const int nHeight = rect.bottom - rect.top;
    int x = (centre.left + centre.right) / 2 - nWidth / 2;
    int y = (centre.top + centre.bottom) / 2 - nHeight / 2;
    x = std::max<int>(area.left, std::min<int>(x, area.right - nWidth));
    y = std::max<int>(area.top, std::min<int>(y, area.bottom - nHeight));
    ::SetWindowPos(hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

CDialogBase::CDialogBase(int nTemplateId, HWND hParent) : m_nTemplateId(nTemplateId), m_hParent(hParent) {}

CDialogBase::CDialogBase(int nTemplateId, HWND hParent, bool bUnicode)
    : m_nTemplateId(nTemplateId), m_hParent(hParent), m_bUnicode(bUnicode) {}

CDialogBase::~CDialogBase() = default;

INT_PTR CDialogBase::DoModal() {
    if (m_bUnicode) {
        return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nTemplateId), m_hParent,
                                 &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
    }
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId), m_hParent,
                             &CDialogBase::DialogProc, reinterpret_cast<LPARAM>(this));
}

void CDialogBase::EndDialog(INT_PTR nResult) {
    if (m_hWnd != nullptr) ::EndDialog(m_hWnd, nResult);
}

std::string CDialogBase::GetDlgItemText(int nId) const {
    HWND hItem = ::GetDlgItem(m_hWnd, nId);
    if (hItem == nullptr) return std::string();
    std::vector<char> buffer(static_cast<std::size_t>(::GetWindowTextLengthA(hItem)) + 1, '\0');
    int nLength = ::GetWindowTextA(hItem, buffer.data(), static_cast<int>(buffer.size()));
    return std::string(buffer.data(), nLength > 0 ? static_cast<std::size_t>(nLength) : 0);
}

void CDialogBase::SetDlgItemText(int nId, const std::string& strText) {
    ::SetDlgItemTextA(m_hWnd, nId, strText.c_str());
}

bool CDialogBase::OnMessage(UINT, WPARAM, LPARAM, INT_PTR&) { return false; }

INT_PTR CALLBACK CDialogBase::DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
    CDialogBase* pDialog;
    if (nMsg == WM_INITDIALOG) {
        pDialog = reinterpret_cast<CDialogBase*>(lParam);
        pDialog->m_hWnd = hWnd;
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
    } else {
        pDialog = reinterpret_cast<CDialogBase*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT) find no object yet.
    if (pDialog == nullptr) return FALSE;

    INT_PTR nResult = pDialog->HandleMessage(nMsg, wParam, lParam);
    if (nMsg == WM_NCDESTROY) {
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        pDialog->m_hWnd = nullptr;
    }
    return nResult;
}

INT_PTR CDialogBase::HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam) {
    if (nMsg == WM_INITDIALOG) {
        // A dialog that neither its template nor its initialisation places is centred.
        RECT before, after;
        ::GetWindowRect(m_hWnd, &before);
        BOOL bFocus = OnInitDialog();
        ::GetWindowRect(m_hWnd, &after);
        if (before.left == after.left && before.top == after.top && TemplateLeavesPlaceOpen(m_nTemplateId))
            CentreWindow(m_hWnd);
        return bFocus;
    }

    INT_PTR nResult = 0;
    if (OnMessage(nMsg, wParam, lParam, nResult)) {
        switch (nMsg) {
        // These return their result from the dialog procedure itself.
        case WM_CTLCOLORMSGBOX: case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORBTN:
        case WM_CTLCOLORDLG: case WM_CTLCOLORSCROLLBAR: case WM_CTLCOLORSTATIC: case WM_COMPAREITEM:
        case WM_VKEYTOITEM: case WM_CHARTOITEM: case WM_QUERYDRAGICON:
            return nResult;
        default:
            ::SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, nResult);
            return TRUE;
        }
    }
    if (nMsg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDOK) { OnOK(); return TRUE; }
        if (LOWORD(wParam) == IDCANCEL) { OnCancel(); return TRUE; }
    }
    return FALSE;
}
