// The main window's commands that run jobs: opening a packet from a dialog, extracting,
// checking, comparing with a folder, finding, and opening a file with its program.
#include "viewer/MainWindow.h"

#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "viewer/FolderCompare.h"
#include "viewer/PacketCheck.h"
#include "viewer/ProgressDlg.h"
#include "viewer/ViewDialogs.h"
#include "viewer/WideText.h"

namespace {

std::wstring PathBelow(const CPacketView& view, std::size_t index) { return L"\\" + Wide(view.Path(index)); }

// The packet's folder and its name without the extension: "D:\in\photos.dat" -> "D:\in\photos".
std::wstring DefaultDestination(const std::wstring& packet) {
    const std::size_t slash = packet.find_last_of(L"\\/");
    const std::size_t dot = packet.rfind(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash + 1)) return packet.substr(0, dot);
    return packet + L".files";
}

// Runs an extraction behind a progress box; false when the box could not show.
bool RunExtraction(HWND hOwner, const std::wstring& title, CExtractJob& job, bool& ran) {
    ran = false;
    CProgressDlg progress(hOwner, title, [&](CProgressDlg& events) {
        events.SetTotals(job.TotalFiles(), job.TotalBytes());
        ran = job.Run(events);
    });
    if (progress.DoModal() != -1) return true;
    ViewMessage(hOwner, L"无法显示进度窗口。", MB_ICONERROR);
    return false;
}

// Selects the folder `data` names once the folder dialog shows.
int CALLBACK StartInFolder(HWND hDialog, UINT nMsg, LPARAM, LPARAM data) {
    if (nMsg == BFFM_INITIALIZED) ::SendMessageW(hDialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

// Asks for a folder of the file system, starting at `start`; false when cancelled.
bool AskFolder(HWND hOwner, const wchar_t* title, const std::wstring& start, std::wstring& folder) {
    BROWSEINFOW info = {};
    info.hwndOwner = hOwner;
    info.lpszTitle = title;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = StartInFolder;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&info);
    if (pidl == nullptr) return false;
    std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
    const bool chosen = ::SHGetPathFromIDListW(pidl, path.data()) != FALSE;
    ::CoTaskMemFree(pidl);
    if (chosen) folder = path.data();
    return chosen && !folder.empty();
}

std::vector<std::wstring> ProblemLines(const std::vector<ExtractProblem>& problems) {
    std::vector<std::wstring> lines;
    for (const ExtractProblem& problem : problems) lines.push_back(Wide(problem.path) + L": " + Wide(problem.reason));
    return lines;
}

}  // namespace

void CMainWindow::CommandOpen() {
    std::vector<wchar_t> path(32768, L'\0');
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = L"数据包 (*.dat)\0*.dat\0所有文件 (*.*)\0*.*\0";
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = static_cast<DWORD>(path.size());
    ofn.lpstrInitialDir = m_settings.openFolder.empty() ? nullptr : m_settings.openFolder.c_str();
    ofn.lpstrTitle = L"打开数据包";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (::GetOpenFileNameW(&ofn)) OpenPacket(path.data());
}

void CMainWindow::CommandExtract() {
    std::vector<std::size_t> entries = m_list.Selected();
    std::wstring what;
    if (entries.empty()) {
        entries = m_view.Children(m_folder);
        what = L"解压整个文件夹 \\" + Wide(m_view.Path(m_folder));
    } else {
        what = L"解压选中的 " + GroupedNumber(static_cast<std::int64_t>(entries.size())) + L" 项";
    }
    std::wstring destination = DefaultDestination(m_strPacket);
    if (!AskDestination(m_hWnd, what, m_settings.extractFolder, destination)) return;
    destination = FullPath(destination);
    CExtractJob job(m_view, m_folder, entries, Utf8(destination));
    bool ran = false;
    if (!RunExtraction(m_hWnd, L"正在解压", job, ran)) return;
    if (!ran) {
        ViewMessage(m_hWnd, L"无法解压到\r\n" + destination + L"\r\n\r\n" + Wide(job.Message()), MB_ICONERROR);
        return;
    }
    m_settings.extractFolder = destination;
    const std::wstring done = L"已解压 " + GroupedNumber(static_cast<std::int64_t>(job.FilesWritten())) +
                              L" 个文件到 " + destination;
    ::SendMessageW(m_hStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(done.c_str()));
    if (job.Problems().empty() && !job.WasCancelled()) return;
    std::wstring heading = job.WasCancelled() ? L"解压已取消。" : L"";
    heading += done + L"。";
    if (!job.Problems().empty()) {
        heading += L"以下 " + GroupedNumber(static_cast<std::int64_t>(job.Problems().size())) + L" 项没有解压:";
    }
    ShowReport(m_hWnd, L"解压结果", heading, ProblemLines(job.Problems()));
}

void CMainWindow::CommandCheck() {
    std::vector<CheckProblem> problems;
    const std::size_t files = m_view.Figures().files;
    CProgressDlg progress(m_hWnd, L"正在测试数据包", [&](CProgressDlg& events) {
        events.SetTotals(files, 0);
        problems = CheckContents(m_view, [&](std::size_t done, std::size_t) {
            events.OnProgress(done, 0, std::string());
            return !events.Cancelled();
        });
    });
    const INT_PTR result = progress.DoModal();
    if (result == IDCANCEL) {
        ::SendMessageW(m_hStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"测试已取消"));
        return;
    }
    if (result != IDOK) return;
    if (problems.empty()) {
        ViewMessage(m_hWnd,
                    L"测试完成, 数据包完好: " + GroupedNumber(static_cast<std::int64_t>(files)) + L" 个文件都能完整读出。",
                    MB_ICONINFORMATION);
        return;
    }
    std::vector<std::wstring> lines;
    for (const CheckProblem& problem : problems) lines.push_back(PathBelow(m_view, problem.index) + L": " + Wide(problem.reason));
    ShowReport(m_hWnd, L"测试结果",
               L"数据包已损坏: " + GroupedNumber(static_cast<std::int64_t>(problems.size())) + L" 项无法完整读出。",
               lines);
}

void CMainWindow::CommandCompare() {
    const std::wstring packet = FullPath(m_strPacket);
    const std::size_t slash = packet.find_last_of(L"\\/");
    std::wstring folder;
    if (!AskFolder(m_hWnd, L"选择与数据包比较的文件夹", packet.substr(0, slash == std::wstring::npos ? 0 : slash),
                   folder)) {
        return;
    }
    std::vector<FolderDifference> differences;
    bool compared = false;
    bool stopped = false;
    std::string error;
    const std::size_t entries = m_view.Packet().Count();
    CProgressDlg progress(m_hWnd, L"正在与文件夹比较", [&](CProgressDlg& events) {
        events.SetTotals(2 * entries, 0);  // each entry once in the packet, once in the folder
        compared =
            CompareWithFolder(m_view, Utf8(folder), differences, stopped, error, [&](std::size_t done, std::size_t) {
                events.OnProgress(done, 0, std::string());
                return !events.Cancelled();
            });
    });
    const INT_PTR result = progress.DoModal();
    if (result == IDCANCEL || stopped) {
        ::SendMessageW(m_hStatus, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(L"比较已取消"));
        return;
    }
    if (result != IDOK) return;
    if (!compared) {
        ViewMessage(m_hWnd, L"无法比较:\r\n" + Wide(error), MB_ICONERROR);
        return;
    }
    if (differences.empty()) {
        ViewMessage(m_hWnd, L"与文件夹一致:\r\n" + folder, MB_ICONINFORMATION);
        return;
    }
    std::vector<std::wstring> lines;
    for (const FolderDifference& difference : differences) {
        lines.push_back(L"\\" + Wide(difference.path) + L": " + Wide(difference.what));
    }
    ShowReport(m_hWnd, L"比较结果",
               GroupedNumber(static_cast<std::int64_t>(differences.size())) + L" 处不同: " + folder, lines);
}

void CMainWindow::CommandFind() {
    std::size_t chosen = 0;
    if (!FindInPacket(m_hWnd, m_view, chosen)) return;
    ShowFolder(m_view.Parent(chosen));
    m_list.SelectIndex(chosen);
    ::SetFocus(m_list.Handle());
}

void CMainWindow::OpenFile(std::size_t index) {
    // Each file opened goes to a numbered folder of its own below the private one, so
    // that two files of one name never meet.
    if (m_strOpened.empty()) {
        wchar_t temp[MAX_PATH + 1] = L"";
        if (::GetTempPathW(MAX_PATH + 1, temp) == 0) return;
        m_strOpened = std::wstring(temp) + L"VelkaronView-" + std::to_wstring(::GetCurrentProcessId());
    }
    const std::wstring folder = m_strOpened + L"\\" + std::to_wstring(++m_nOpened);
    CExtractJob job(m_view, m_view.Parent(index), {index}, Utf8(folder));
    bool ran = false;
    if (!RunExtraction(m_hWnd, L"正在打开", job, ran) || job.WasCancelled()) return;
    if (!ran || job.FilesWritten() != 1) {
        const std::wstring why = !ran ? Wide(job.Message())
                                 : job.Problems().empty() ? std::wstring()
                                                          : Wide(job.Problems().front().reason);
        ViewMessage(m_hWnd, L"无法打开 " + PathBelow(m_view, index) + L"\r\n\r\n" + why, MB_ICONERROR);
        return;
    }
    const std::wstring file = folder + L"\\" + Wide(m_view.Name(index));
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ::ShellExecuteW(m_hWnd, nullptr, file.c_str(), nullptr, folder.c_str(), SW_SHOWNORMAL));
    if (result <= 32) {
        ViewMessage(m_hWnd, L"没有程序能打开 " + file + L"\r\n(Windows 找不到与这类文件关联的程序)", MB_ICONWARNING);
    }
}

void CMainWindow::RemoveOpenedFiles() {
    if (m_strOpened.empty()) return;
    std::wstring from = m_strOpened;
    from.push_back(L'\0');  // the list of paths ends with a second NUL
    SHFILEOPSTRUCTW operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NOCONFIRMATION | FOF_NOERRORUI | FOF_SILENT;
    ::SHFileOperationW(&operation);
}
