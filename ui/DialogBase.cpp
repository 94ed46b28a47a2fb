// Message routing of our dialogs: the object pointer travels in through
// DialogBoxParamA, lives in the window's DWLP_USER slot and leaves at WM_NCDESTROY.
#include "ui/DialogBase.h"

#include <vector>

CDialogBase::CDialogBase(int nTemplateId, HWND hParent) : m_nTemplateId(nTemplateId), m_hParent(hParent) {}

CDialogBase::~CDialogBase() = default;

INT_PTR CDialogBase::DoModal() {
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
    if (nMsg == WM_INITDIALOG) return OnInitDialog();

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
