// Window search and cross-process text access for the driver. Texts travel with
// WM_GETTEXT / WM_SETTEXT, which the system copies between processes.
#include "tests/gui/GuiDriver.h"

#include "app/resource.h"

namespace {

const UINT kAnswerMs = 5000;

struct DialogSearch {
    DWORD nThreadId;
    DWORD nProcessId;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND hWnd, LPARAM lParam) {
    auto* pSearch = reinterpret_cast<DialogSearch*>(lParam);
    DWORD nProcessId = 0;
    DWORD nThreadId = ::GetWindowThreadProcessId(hWnd, &nProcessId);
    if ((pSearch->nThreadId != 0 && nThreadId != pSearch->nThreadId) ||
        (pSearch->nProcessId != 0 && nProcessId != pSearch->nProcessId))
        return TRUE;
    char szClass[16] = {};
    ::GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (std::string(szClass) == "#32770" && ::IsWindowVisible(hWnd)) pSearch->found.push_back(hWnd);
    return TRUE;
}

std::vector<HWND> Dialogs(DWORD nThreadId, DWORD nProcessId) {
    DialogSearch search{nThreadId, nProcessId, {}};
    ::EnumWindows(&CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK CollectStatic(HWND hWnd, LPARAM lParam) {
    char szClass[16] = {};
    ::GetClassNameA(hWnd, szClass, sizeof(szClass));
    if (lstrcmpiA(szClass, "Static") == 0) {
        std::string strText = WindowText(hWnd);
        auto* pLongest = reinterpret_cast<std::string*>(lParam);
        if (strText.size() > pLongest->size()) *pLongest = strText;
    }
    return TRUE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& done, DWORD nTimeoutMs) {
    DWORD nStart = ::GetTickCount();
    for (;;) {
        if (done()) return true;
        if (::GetTickCount() - nStart > nTimeoutMs) return done();
        ::Sleep(20);
    }
}

std::vector<HWND> DialogsOfThread(DWORD nThreadId) { return Dialogs(nThreadId, 0); }

std::vector<HWND> DialogsOfProcess(DWORD nProcessId) { return Dialogs(0, nProcessId); }

std::string WindowText(HWND hWnd) {
    DWORD_PTR nLength = 0;
    if (hWnd == nullptr ||
        !::SendMessageTimeoutA(hWnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kAnswerMs, &nLength))
        return std::string();
    std::vector<char> buffer(nLength + 2, '\0');
    DWORD_PTR nCopied = 0;
    if (!::SendMessageTimeoutA(hWnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                               SMTO_ABORTIFHUNG, kAnswerMs, &nCopied))
        return std::string();
    return std::string(buffer.data(), nCopied);
}

bool SetWindowTextTo(HWND hWnd, const std::string& strText) {
    DWORD_PTR nResult = 0;
    return hWnd != nullptr && ::SendMessageTimeoutA(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(strText.c_str()),
                                                    SMTO_ABORTIFHUNG, kAnswerMs, &nResult) != 0;
}

std::string MessageBoxText(HWND hBox) {
    std::string strLongest;
    ::EnumChildWindows(hBox, &CollectStatic, reinterpret_cast<LPARAM>(&strLongest));
    return strLongest;
}

bool CVelkaronProcess::Install(const std::string& strProgram, const std::string& strDir, const std::string& strName) {
    return ::CopyFileA(strProgram.c_str(), (strDir + strName).c_str(), FALSE) != 0;
}

CVelkaronProcess::~CVelkaronProcess() {
    if (m_pi.hProcess != nullptr) {
        if (::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_TIMEOUT) {
            ::TerminateProcess(m_pi.hProcess, 1);
            ::WaitForSingleObject(m_pi.hProcess, 10000);
        }
        ::CloseHandle(m_pi.hThread);
        ::CloseHandle(m_pi.hProcess);
    }
}

bool CVelkaronProcess::Start(const std::string& strExe) {
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    std::string strCommand = "\"" + strExe + "\"";
    if (!::CreateProcessA(strExe.c_str(), &strCommand[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &m_pi)) {
        m_pi = {};
        return false;
    }
    WaitUntil(
        [this] {
            for (HWND hWnd : DialogsOfProcess(m_pi.dwProcessId)) {
                if (::GetDlgItem(hWnd, IDC_PACK) != nullptr) m_hDialog = hWnd;
            }
            return m_hDialog != nullptr;
        },
        30000);
    return m_hDialog != nullptr;
}

std::string CVelkaronProcess::Text(int nId) const { return WindowText(::GetDlgItem(m_hDialog, nId)); }

bool CVelkaronProcess::SetText(int nId, const std::string& strText) const {
    return SetWindowTextTo(::GetDlgItem(m_hDialog, nId), strText);
}

void CVelkaronProcess::Click(int nId) const { ::PostMessageA(::GetDlgItem(m_hDialog, nId), BM_CLICK, 0, 0); }

void CVelkaronProcess::Key(int nId, WPARAM nKey) const {
    HWND hControl = ::GetDlgItem(m_hDialog, nId);
    ::PostMessageA(hControl, WM_KEYDOWN, nKey, 1);
    ::PostMessageA(hControl, WM_KEYUP, nKey, 1 | (1u << 30) | (1u << 31));
}

void CVelkaronProcess::Command(int nId) const {
    ::PostMessageA(m_hDialog, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(m_hDialog, nId)));
}

bool CVelkaronProcess::WaitForLogEnd(DWORD nTimeoutMs) const {
    static const std::string kDone = "打包完成!";
    return WaitUntil(
        [this] {
            const std::string log = Text(IDC_LOG);
            return log.size() >= kDone.size() && log.compare(log.size() - kDone.size(), kDone.size(), kDone) == 0;
        },
        nTimeoutMs);
}

HWND CVelkaronProcess::WaitForDialog(const std::string& strTitle, DWORD nTimeoutMs) const {
    HWND hFound = nullptr;
    WaitUntil(
        [&] {
            for (HWND hWnd : DialogsOfProcess(m_pi.dwProcessId)) {
                if (hWnd != m_hDialog && WindowText(hWnd) == strTitle) hFound = hWnd;
            }
            return hFound != nullptr;
        },
        nTimeoutMs);
    return hFound;
}

bool CVelkaronProcess::WaitForExit(DWORD nTimeoutMs) const {
    return m_pi.hProcess != nullptr && ::WaitForSingleObject(m_pi.hProcess, nTimeoutMs) == WAIT_OBJECT_0;
}

bool CVelkaronProcess::Suspend() const { return ::SuspendThread(m_pi.hThread) != static_cast<DWORD>(-1); }

bool CVelkaronProcess::Resume() const { return ::ResumeThread(m_pi.hThread) != static_cast<DWORD>(-1); }
