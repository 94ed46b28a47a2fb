// The main dialog's handlers. Each reads or writes its controls and hands the
// work to the packer, the settings store or the shell; none of those sees a window.
#include "ui/VelkaronDlg.h"

#include <commdlg.h>
#include <shellapi.h>

#include <cstdio>
#include <vector>

#include "app/AboutDlg.h"
#include "app/resource.h"
#include "platform/FileSystem.h"
#include "platform/MbText.h"
#include "platform/Pump.h"
#include "settings/IniFile.h"
#include "settings/ProgramDir.h"

namespace {

const char kSettingsFile[] = "velkaron.ini";
const char kInstructionsFile[] = "velkaron.txt";
const char kSection[] = ".";
const char kKeySource[] = "SourcePath";
const char kKeyPacket[] = "PacketName";
const UINT kStatusPeriodMs = 1000;

std::string ProgramFile(const char* pszName) {
    std::string strDir;
    GetProgramDir(strDir);
    return strDir + pszName;
}

// Runs the open or save common dialog with `pszFilter` (pairs of NUL-terminated
// texts, ending in an empty one); the chosen path, or empty when the user cancels.
std::string AskForFile(HWND hOwner, bool bSave, const char* pszFilter, const char* pszDefExt) {
    std::vector<char> buffer(MAX_PATH * 4, '\0');
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = hOwner;
    ofn.lpstrFilter = pszFilter;
    ofn.lpstrFile = buffer.data();
    ofn.nMaxFile = static_cast<DWORD>(buffer.size());
    ofn.lpstrDefExt = pszDefExt;
    ofn.Flags = OFN_EXPLORER;
    BOOL bOk = bSave ? ::GetSaveFileNameA(&ofn) : ::GetOpenFileNameA(&ofn);
    return bOk ? std::string(buffer.data()) : std::string();
}

}  // namespace

CVelkaronDlg::CVelkaronDlg(HWND hParent) : CDialogBase(IDD_VELKARON_DIALOG, hParent) {
    m_hIcon = ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CVelkaronDlg::~CVelkaronDlg() = default;

void CVelkaronDlg::DoDataExchange() { m_edLog.Attach(::GetDlgItem(GetSafeHwnd(), IDC_LOG)); }

BOOL CVelkaronDlg::OnInitDialog() {
    DoDataExchange();
    HWND hWnd = GetSafeHwnd();

    HMENU hSysMenu = ::GetSystemMenu(hWnd, FALSE);
    if (hSysMenu != nullptr) {
        char szAbout[256] = {};
        if (::LoadStringA(::GetModuleHandleA(nullptr), IDS_ABOUTBOX, szAbout, sizeof(szAbout)) > 0) {
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, szAbout);
        }
    }

    ::SendMessageA(hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    LoadSettings();
    SetDlgItemText(IDC_STATUS, std::string());
    ::SetTimer(hWnd, IDT_STATUS, kStatusPeriodMs, nullptr);
    return TRUE;
}

bool CVelkaronDlg::OnMessage(UINT nMsg, WPARAM wParam, LPARAM, INT_PTR& nResult) {
    switch (nMsg) {
    case WM_SYSCOMMAND:
        return OnSysCommand(static_cast<UINT>(wParam));
    case WM_PAINT:
        return OnPaint();
    case WM_QUERYDRAGICON:
        nResult = reinterpret_cast<INT_PTR>(OnQueryDragIcon());
        return true;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_PACK: OnPack(); return true;
        case IDC_BROWSE_PACKET: OnBrowsePacket(); return true;
        case IDC_SELECT_FOLDER: OnSelectFolder(); return true;
        case IDC_INSTRUCTIONS: OnInstructions(); return true;
        default: return false;
        }
    case WM_TIMER:
        OnTimer();
        return true;
    case WM_DESTROY:
        m_edLog.Attach(nullptr);
        return false;
    default:
        return false;
    }
}

bool CVelkaronDlg::OnSysCommand(UINT nID) {
    if ((nID & 0xFFF0) != IDM_ABOUTBOX) return false;
    CAboutDlg dlgAbout(GetSafeHwnd());
    dlgAbout.DoModal();
    return true;
}

bool CVelkaronDlg::OnPaint() {
    HWND hWnd = GetSafeHwnd();
    if (!::IsIconic(hWnd)) return false;
    PAINTSTRUCT ps;
    HDC hDC = ::BeginPaint(hWnd, &ps);
    ::SendMessageA(hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDC), 0);
    RECT rect;
    ::GetClientRect(hWnd, &rect);
    int x = (rect.right - rect.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (rect.bottom - rect.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
    ::DrawIcon(hDC, x, y, m_hIcon);
    ::EndPaint(hWnd, &ps);
    return true;
}

void CVelkaronDlg::OnPack() {
    // The job dispatches every message while it runs, this command included.
    if (m_packer.IsRunning()) return;

    std::string strSource = GetDlgItemText(IDC_SOURCE_PATH);
    TrimRightChar(strSource, '\\');
    if (strSource.empty()) {
        // A lone backslash would name the root of the current drive.
        ShowMessageBox("请先选择源文件夹。");
        return;
    }
    strSource += '\\';
    std::string strPacket = GetDlgItemText(IDC_PACKET_PATH);

    m_packer.BuildPacket(strSource, strPacket);
    SaveSettings();
}

void CVelkaronDlg::OnSelectFolder() {
    // The folder is picked by picking any file in it, existing or typed.
    static const char kFilter[] = "所有文件 (*.*)\0*.*\0";
    std::string strPath = AskForFile(GetSafeHwnd(), false, kFilter, nullptr);
    if (strPath.empty()) return;
    std::size_t nSep = FindLastChar(strPath, '\\');
    if (nSep != std::string::npos && nSep > 0) strPath.resize(nSep);
    SetDlgItemText(IDC_SOURCE_PATH, strPath);
}

void CVelkaronDlg::OnBrowsePacket() {
    static const char kFilter[] = "打包数据文件 (*.dat)\0*.dat\0所有文件 (*.*)\0*.*\0";
    std::string strPath = AskForFile(GetSafeHwnd(), true, kFilter, "dat");
    if (!strPath.empty()) SetDlgItemText(IDC_PACKET_PATH, strPath);
}

void CVelkaronDlg::OnInstructions() {
    std::string strPath = ProgramFile(kInstructionsFile);
    if (!PathExists(strPath)) {
        ShowMessageBox((strPath + "\r\n怎么会找不到这个文件?").c_str());
        return;
    }
    ::ShellExecuteA(nullptr, "open", strPath.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void CVelkaronDlg::OnTimer() {
    // A second of scanning queues well over a thousand lines: they reach the log
    // together, in a few appends, instead of one append each.
    std::vector<std::string> arrMessages;
    std::string strMessage;
    while (m_packer.TakeMessage(strMessage)) arrMessages.push_back(std::move(strMessage));
    AppendLogTexts(&m_edLog, arrMessages);

    char szStatus[64];
    std::snprintf(szStatus, sizeof(szStatus), "文件: %d | 文件夹 %d", m_packer.m_nFiles, m_packer.m_nFolders);
    SetDlgItemText(IDC_STATUS, szStatus);
}

int CVelkaronDlg::AddLog(const std::string& strText) { return AppendLogText(&m_edLog, strText); }

int CVelkaronDlg::AppendLogText(CEdit* pEdit, const std::string& strText) {
    return AppendCappedText(pEdit, strText, MAX_LOG_LINES);
}

int CVelkaronDlg::AppendLogTexts(CEdit* pEdit, const std::vector<std::string>& texts) {
    return AppendCappedTexts(pEdit, texts, MAX_LOG_LINES);
}

void CVelkaronDlg::LoadSettings() {
    CIniFile ini;
    ini.Load(ProgramFile(kSettingsFile));
    const std::string* pSource = ini.GetString(kSection, kKeySource);
    SetDlgItemText(IDC_SOURCE_PATH, pSource != nullptr ? *pSource : std::string());
    const std::string* pPacket = ini.GetString(kSection, kKeyPacket);
    SetDlgItemText(IDC_PACKET_PATH, pPacket != nullptr ? *pPacket : std::string());
}

void CVelkaronDlg::SaveSettings() {
    // A fresh store: the file holds exactly these two entries afterwards.
    CIniFile ini;
    ini.SetString(kSection, kKeySource, GetDlgItemText(IDC_SOURCE_PATH));
    ini.SetString(kSection, kKeyPacket, GetDlgItemText(IDC_PACKET_PATH));
    ini.Save(ProgramFile(kSettingsFile));
}
