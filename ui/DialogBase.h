// A modal dialog on the Win32 dialog manager: runs a template from the program's
// resources and routes its messages to virtual handlers of a C++ object. The packing
// dialog is an ANSI window; a program whose texts are Unicode asks for a Unicode one.
#pragma once

#include <windows.h>

#include <string>

class CDialogBase {
public:
    CDialogBase(int nTemplateId, HWND hParent);
    // With `bUnicode` the dialog is a Unicode window (DialogBoxParamW), so that its
    // controls hold any text, whatever the system's code page.
    CDialogBase(int nTemplateId, HWND hParent, bool bUnicode);
    virtual ~CDialogBase();
    CDialogBase(const CDialogBase&) = delete;
    CDialogBase& operator=(const CDialogBase&) = delete;

    // Shows the dialog and runs its modal loop until EndDialog: that call's result,
    // or -1 when the dialog cannot be created. Unless its template or OnInitDialog
    // places it, the dialog opens centred over its owner, or on the work area when
    // it has none, and within the work area.
    INT_PTR DoModal();
    // Ends the modal loop with `nResult`; the window goes once control is back in the loop.
    void EndDialog(INT_PTR nResult);
    // The dialog's window while it exists, else null.
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The text of control `nId`; empty when there is no such control.
    std::string GetDlgItemText(int nId) const;
    // Sets the text of control `nId`; does nothing when there is no such control.
    void SetDlgItemText(int nId, const std::string& strText);

protected:
    // After the controls exist. True lets the dialog manager focus the first tab stop.
    virtual BOOL OnInitDialog() { return TRUE; }
    // IDOK and IDCANCEL (Enter without a default button, Esc, the close box, buttons).
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // Any other message. True when handled, with `nResult` the message's result;
    // false leaves it to the dialog manager's default processing.
    virtual bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR& nResult);

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);

    int m_nTemplateId;
    HWND m_hParent;
    bool m_bUnicode = false;
    HWND m_hWnd = nullptr;
};
