// The progress box: the work reports under a lock, a timer shows the latest report
// ten times a second, so a job of many small files does not flood the window.
#include "viewer/ProgressDlg.h"

#include <commctrl.h>

#include "viewer/ViewDialogs.h"
#include "viewer/WideText.h"
#include "viewer/resource.h"

namespace {

constexpr UINT kDone = WM_APP + 1;      // the work has returned
constexpr UINT kConflict = WM_APP + 2;  // lParam: the taken path (const std::string*), UTF-8
constexpr UINT_PTR kRefreshTimer = 1;

}  // namespace

CProgressDlg::CProgressDlg(HWND hOwner, const std::wstring& title, Work work)
    : CDialogBase(IDD_PROGRESS, hOwner, true), m_strTitle(title), m_work(std::move(work)) {}

void CProgressDlg::SetTotals(std::size_t files, std::int64_t bytes) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_nTotalFiles = files;
    m_nTotalBytes = bytes;
}

void CProgressDlg::OnProgress(std::size_t files, std::int64_t bytes, const std::string& path) {
    std::lock_guard<std::mutex> hold(m_lock);
    m_nFiles = files;
    m_nBytes = bytes;
    m_strName = path;
}

ConflictAnswer CProgressDlg::OnConflict(const std::string& path) {
    return static_cast<ConflictAnswer>(
        ::SendMessageW(GetSafeHwnd(), kConflict, 0, reinterpret_cast<LPARAM>(&path)));
}

DWORD WINAPI CProgressDlg::ThreadMain(void* pParam) {
    CProgressDlg* self = static_cast<CProgressDlg*>(pParam);
    self->m_work(*self);
    ::PostMessageW(self->GetSafeHwnd(), kDone, 0, 0);
    return 0;
}

BOOL CProgressDlg::OnInitDialog() {
    ::SetWindowTextW(GetSafeHwnd(), m_strTitle.c_str());
    ::SendDlgItemMessageW(GetSafeHwnd(), IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, 1000);
    ::SetTimer(GetSafeHwnd(), kRefreshTimer, 100, nullptr);
    m_hThread = ::CreateThread(nullptr, 0, &CProgressDlg::ThreadMain, this, 0, nullptr);
    if (m_hThread == nullptr) EndDialog(IDABORT);
    return TRUE;
}

void CProgressDlg::OnCancel() {
    // The work stops at its next question; the box closes when it has.
    m_bCancel = true;
    ::EnableWindow(::GetDlgItem(GetSafeHwnd(), IDCANCEL), FALSE);
    ::SetDlgItemTextW(GetSafeHwnd(), IDC_PROGRESS_COUNT, L"正在取消...");
}

void CProgressDlg::Refresh() {
    std::size_t files, totalFiles;
    std::int64_t bytes, totalBytes;
    std::string name;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        files = m_nFiles;
        totalFiles = m_nTotalFiles;
        bytes = m_nBytes;
        totalBytes = m_nTotalBytes;
        name = m_strName;
    }
    const double done = totalBytes > 0   ? static_cast<double>(bytes) / static_cast<double>(totalBytes)
                        : totalFiles > 0 ? static_cast<double>(files) / static_cast<double>(totalFiles)
                                         : 0.0;
    ::SendDlgItemMessageW(GetSafeHwnd(), IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(done * 1000), 0);
    ::SetDlgItemTextW(GetSafeHwnd(), IDC_PROGRESS_NAME, Wide(name).c_str());
    if (!m_bCancel) {
        std::wstring count = GroupedNumber(static_cast<std::int64_t>(files)) + L" / " +
                             GroupedNumber(static_cast<std::int64_t>(totalFiles)) + L" 个文件";
        if (totalBytes > 0) count += L", " + ShortSize(bytes) + L" / " + ShortSize(totalBytes);
        ::SetDlgItemTextW(GetSafeHwnd(), IDC_PROGRESS_COUNT, count.c_str());
    }
}

bool CProgressDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR& nResult) {
    switch (nMsg) {
    case WM_TIMER:
        if (wParam != kRefreshTimer) return false;
        Refresh();
        return true;
    case kConflict: {
        const std::string& path = *reinterpret_cast<const std::string*>(lParam);
        // The first question may come before the box has shown; it stands over the box.
        ::ShowWindow(GetSafeHwnd(), SW_SHOW);
        nResult = static_cast<INT_PTR>(m_bCancel ? ConflictAnswer::Cancel : AskConflict(GetSafeHwnd(), Wide(path)));
        return true;
    }
    case kDone:
        ::KillTimer(GetSafeHwnd(), kRefreshTimer);
        ::WaitForSingleObject(m_hThread, INFINITE);
        ::CloseHandle(m_hThread);
        m_hThread = nullptr;
        EndDialog(m_bCancel ? IDCANCEL : IDOK);
        return true;
    default:
        return false;
    }
}
