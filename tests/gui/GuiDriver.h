// Drives a copy of Velkaron.exe from outside, as a user would: through its
// windows, control ids and messages. Shared by the GUI tests and the screenshot tool.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Polls `done` every few milliseconds until it holds or `nTimeoutMs` have passed;
// its last answer.
bool WaitUntil(const std::function<bool()>& done, DWORD nTimeoutMs);

// Top-level dialog windows (class #32770) of a thread or of a process, visible ones only.
std::vector<HWND> DialogsOfThread(DWORD nThreadId);
std::vector<HWND> DialogsOfProcess(DWORD nProcessId);

// The text of `hWnd`, fetched with WM_GETTEXT so it works across processes; empty
// when the window does not answer within a few seconds.
std::string WindowText(HWND hWnd);
// Sets the text of `hWnd` with WM_SETTEXT; false when the window does not answer.
bool SetWindowTextTo(HWND hWnd, const std::string& strText);
// The longest text among the static controls of a message box: its message.
std::string MessageBoxText(HWND hBox);

// One running copy of the program in a private folder of its own.
class CVelkaronProcess {
public:
    // Copies `strProgram` (a path to Velkaron.exe) into `strDir` (ending with a
    // backslash) as `strName`; false when the copy fails.
    static bool Install(const std::string& strProgram, const std::string& strDir,
                        const std::string& strName = "Velkaron.exe");

    CVelkaronProcess() = default;
    // Ends the process when it is still running.
    ~CVelkaronProcess();
    CVelkaronProcess(const CVelkaronProcess&) = delete;
    CVelkaronProcess& operator=(const CVelkaronProcess&) = delete;

    // Starts `strExe` and waits for its main dialog; false when it does not come up.
    bool Start(const std::string& strExe);
    HWND Dialog() const { return m_hDialog; }
    DWORD ProcessId() const { return m_pi.dwProcessId; }

    std::string Text(int nId) const;
    bool SetText(int nId, const std::string& strText) const;
    // Presses the button `nId` (BM_CLICK, posted: the click may open a modal loop).
    void Click(int nId) const;
    // Sends the keystroke `nKey` to control `nId` as the dialog's modal loop receives it.
    void Key(int nId, WPARAM nKey) const;
    // Posts a command of control `nId` to the dialog.
    void Command(int nId) const;

    // True when the log ends with the job's last text, "打包完成!", within `nTimeoutMs`.
    bool WaitForLogEnd(DWORD nTimeoutMs) const;
    // A dialog of the process other than the main one whose title is `strTitle`; null
    // when none shows up within `nTimeoutMs`.
    HWND WaitForDialog(const std::string& strTitle, DWORD nTimeoutMs) const;
    // True when the process has ended within `nTimeoutMs`.
    bool WaitForExit(DWORD nTimeoutMs) const;
    // Freezes and thaws the program's thread, so that several posted messages wait together.
    bool Suspend() const;
    bool Resume() const;

private:
    PROCESS_INFORMATION m_pi = {};
    HWND m_hDialog = nullptr;
};
