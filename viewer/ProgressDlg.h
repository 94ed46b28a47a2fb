// A job off the window's thread behind a modal progress box: files, bytes and the
// current name, a cancel button; the job's questions about taken names come back to
// the window's thread as a modal question. The owner keeps painting meanwhile.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "ui/DialogBase.h"
#include "viewer/ExtractJob.h"

class CProgressDlg : public CDialogBase, public IExtractEvents {
public:
    using Work = std::function<void(CProgressDlg& progress)>;
    // `work` runs on a thread of its own once the box shows; the box closes when it returns.
    CProgressDlg(HWND hOwner, const std::wstring& title, Work work);

    // The totals the bar measures: bytes when there are any, else files.
    void SetTotals(std::size_t files, std::int64_t bytes);
    // Called by the work: how far it is.
    void OnProgress(std::size_t files, std::int64_t bytes, const std::string& path) override;
    // Asks the user on the window's thread; the work waits for the answer.
    ConflictAnswer OnConflict(const std::string& path) override;
    bool Cancelled() override { return m_bCancel; }

protected:
    BOOL OnInitDialog() override;
    void OnOK() override {}
    void OnCancel() override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR& nResult) override;

private:
    static DWORD WINAPI ThreadMain(void* pParam);
    void Refresh();

    std::wstring m_strTitle;
    Work m_work;
    HANDLE m_hThread = nullptr;
    std::atomic<bool> m_bCancel{false};
    std::mutex m_lock;  // guards what follows, written by the work
    std::size_t m_nTotalFiles = 0;
    std::int64_t m_nTotalBytes = 0;
    std::size_t m_nFiles = 0;
    std::int64_t m_nBytes = 0;
    std::string m_strName;
};
