// The browser's dialog boxes, each a Unicode dialog on the project's dialog wrapper.
#include "viewer/ViewDialogs.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <cwchar>

#include "viewer/WideText.h"
#include "viewer/resource.h"

const wchar_t kViewTitle[] = L"Velkaron 数据包查看器";

int ViewMessage(HWND hOwner, const std::wstring& text, UINT type) {
    return ::MessageBoxW(hOwner, text.c_str(), kViewTitle, type);
}

namespace {

class CConflictDlg : public CDialogBase {
public:
    CConflictDlg(HWND hOwner, const std::wstring& path) : CDialogBase(IDD_CONFLICT, hOwner, true), m_strPath(path) {}

protected:
    BOOL OnInitDialog() override {
        const std::wstring text = L"目标文件夹中已有\r\n" + m_strPath + L"\r\n要用数据包里的文件覆盖它吗?";
        ::SetDlgItemTextW(GetSafeHwnd(), IDC_CONFLICT_TEXT, text.c_str());
        return TRUE;
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM, INT_PTR&) override {
        if (nMsg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return false;
        const int id = LOWORD(wParam);
        if (id != IDC_OVERWRITE && id != IDC_SKIP && id != IDC_OVERWRITE_ALL && id != IDC_SKIP_ALL) return false;
        EndDialog(id);
        return true;
    }

private:
    std::wstring m_strPath;
};

class CExtractDlg : public CDialogBase {
public:
    CExtractDlg(HWND hOwner, const std::wstring& what, const std::wstring& lastFolder, std::wstring& destination)
        : CDialogBase(IDD_EXTRACT, hOwner, true), m_strWhat(what), m_strLast(lastFolder),
          m_strDestination(destination) {}

protected:
    BOOL OnInitDialog() override {
        ::SetDlgItemTextW(GetSafeHwnd(), IDC_EXTRACT_DEST, m_strDestination.c_str());
        ::SetDlgItemTextW(GetSafeHwnd(), IDC_EXTRACT_WHAT, m_strWhat.c_str());
        return TRUE;
    }
    void OnOK() override {
        std::wstring destination = WindowTextOf(::GetDlgItem(GetSafeHwnd(), IDC_EXTRACT_DEST));
        while (!destination.empty() && destination.back() == L' ') destination.pop_back();
        if (destination.empty()) {
            ViewMessage(GetSafeHwnd(), L"请填写目标文件夹。", MB_ICONWARNING);
            return;
        }
        m_strDestination = destination;
        EndDialog(IDOK);
    }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM, INT_PTR&) override {
        if (nMsg != WM_COMMAND || LOWORD(wParam) != IDC_EXTRACT_BROWSE || HIWORD(wParam) != BN_CLICKED) return false;
        Browse();
        return true;
    }

private:
    // The browser opens at the folder the field names when it exists, else at the last one used.
    static int CALLBACK StartAt(HWND hBrowser, UINT nMsg, LPARAM, LPARAM lData) {
        if (nMsg == BFFM_INITIALIZED) ::SendMessageW(hBrowser, BFFM_SETSELECTIONW, TRUE, lData);
        return 0;
    }

    void Browse() {
        std::wstring start = WindowTextOf(::GetDlgItem(GetSafeHwnd(), IDC_EXTRACT_DEST));
        const DWORD attributes = ::GetFileAttributesW(start.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) start = m_strLast;
        BROWSEINFOW info = {};
        info.hwndOwner = GetSafeHwnd();
        info.lpszTitle = L"选择解压到的文件夹";
        info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        info.lpfn = &CExtractDlg::StartAt;
        info.lParam = reinterpret_cast<LPARAM>(start.c_str());
        // A shell dialog, which wants COM on its thread: only for as long as it shows,
        // since COM kept up to the end holds up the program's exit.
        const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&info);
        if (pidl != nullptr) {
            wchar_t path[MAX_PATH * 4] = L"";
            if (::SHGetPathFromIDListW(pidl, path)) ::SetDlgItemTextW(GetSafeHwnd(), IDC_EXTRACT_DEST, path);
            ::CoTaskMemFree(pidl);
        }
        if (SUCCEEDED(com)) ::CoUninitialize();
    }

    std::wstring m_strWhat;
    std::wstring m_strLast;
    std::wstring& m_strDestination;
};

class CTextDlg : public CDialogBase {
public:
    CTextDlg(int nTemplate, HWND hOwner, int nTextId, const std::wstring& text, const std::wstring& title = L"",
             int nHeadingId = 0, const std::wstring& heading = L"")
        : CDialogBase(nTemplate, hOwner, true), m_nTextId(nTextId), m_strText(text), m_strTitle(title),
          m_nHeadingId(nHeadingId), m_strHeading(heading) {}

protected:
    BOOL OnInitDialog() override {
        if (!m_strTitle.empty()) ::SetWindowTextW(GetSafeHwnd(), m_strTitle.c_str());
        if (m_nHeadingId != 0) ::SetDlgItemTextW(GetSafeHwnd(), m_nHeadingId, m_strHeading.c_str());
        ::SetDlgItemTextW(GetSafeHwnd(), m_nTextId, m_strText.c_str());
        ::SetFocus(::GetDlgItem(GetSafeHwnd(), IDOK));
        return FALSE;
    }

private:
    int m_nTextId;
    std::wstring m_strText;
    std::wstring m_strTitle;
    int m_nHeadingId;
    std::wstring m_strHeading;
};

class CFindDlg : public CDialogBase {
public:
    CFindDlg(HWND hOwner, const CPacketView& view) : CDialogBase(IDD_FIND, hOwner, true), m_view(view) {}
    std::size_t Chosen() const { return m_chosen; }

protected:
    BOOL OnInitDialog() override {
        HWND hHits = Hits();
        ListView_SetExtendedListViewStyle(hHits, LVS_EX_FULLROWSELECT);
        const wchar_t* const titles[] = {L"名称", L"所在文件夹"};
        for (int column = 0; column < 2; ++column) {
            LVCOLUMNW lvc = {};
            lvc.mask = LVCF_TEXT | LVCF_WIDTH;
            lvc.cx = column == 0 ? 200 : 300;
            lvc.pszText = const_cast<LPWSTR>(titles[column]);
            ::SendMessageW(hHits, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
        }
        return TRUE;
    }
    void OnOK() override { Act(); }
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, INT_PTR& nResult) override {
        if (nMsg == WM_COMMAND && LOWORD(wParam) == IDC_FIND_GO && HIWORD(wParam) == BN_CLICKED) {
            Act();
            return true;
        }
        if (nMsg == WM_NOTIFY && reinterpret_cast<const NMHDR*>(lParam)->idFrom == IDC_FIND_HITS &&
            reinterpret_cast<const NMHDR*>(lParam)->code == LVN_ITEMACTIVATE) {
            Choose();
            nResult = 0;
            return true;
        }
        return false;
    }

private:
    HWND Hits() const { return ::GetDlgItem(GetSafeHwnd(), IDC_FIND_HITS); }

    // Enter: on a hit shows it, else searches.
    void Act() {
        if (::GetFocus() == Hits() && ListView_GetNextItem(Hits(), -1, LVNI_SELECTED) >= 0) {
            Choose();
        } else {
            Search();
        }
    }

    void Choose() {
        const int row = ListView_GetNextItem(Hits(), -1, LVNI_SELECTED);
        if (row < 0 || static_cast<std::size_t>(row) >= m_hits.size()) return;
        m_chosen = m_hits[static_cast<std::size_t>(row)];
        EndDialog(IDOK);
    }

    void Search() {
        std::wstring needle = WindowTextOf(::GetDlgItem(GetSafeHwnd(), IDC_FIND_TEXT));
        if (needle.empty()) return;
        ::CharLowerBuffW(&needle[0], static_cast<DWORD>(needle.size()));
        HCURSOR hOld = ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(reinterpret_cast<ULONG_PTR>(IDC_WAIT))));
        m_hits = m_view.Search([&](const std::string& name) {
            std::wstring wide = Wide(name);
            if (wide.empty()) return false;
            ::CharLowerBuffW(&wide[0], static_cast<DWORD>(wide.size()));
            return wide.find(needle) != std::wstring::npos;
        });
        ::SetCursor(hOld);
        HWND hHits = Hits();
        ListView_DeleteAllItems(hHits);
        const std::size_t shown = std::min<std::size_t>(m_hits.size(), kMostShown);
        m_hits.resize(shown);
        ::SendMessageW(hHits, WM_SETREDRAW, FALSE, 0);
        for (std::size_t n = 0; n < shown; ++n) {
            const std::size_t index = m_hits[n];
            const std::wstring name = Wide(m_view.Name(index));
            const std::wstring folder = L"\\" + Wide(m_view.Path(m_view.Parent(index)));
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(n);
            item.pszText = const_cast<LPWSTR>(name.c_str());
            ::SendMessageW(hHits, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            item.iSubItem = 1;
            item.pszText = const_cast<LPWSTR>(folder.c_str());
            ::SendMessageW(hHits, LVM_SETITEMTEXTW, n, reinterpret_cast<LPARAM>(&item));
        }
        ::SendMessageW(hHits, WM_SETREDRAW, TRUE, 0);
        std::wstring count = L"找到 " + GroupedNumber(static_cast<std::int64_t>(shown)) + L" 项";
        if (shown == kMostShown) count += L" (只列出前 " + GroupedNumber(kMostShown) + L" 项)";
        ::SetDlgItemTextW(GetSafeHwnd(), IDC_FIND_COUNT, count.c_str());
        if (shown > 0) {
            ListView_SetItemState(hHits, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
            ::SetFocus(hHits);
        }
    }

    static constexpr std::size_t kMostShown = 10000;
    const CPacketView& m_view;
    std::vector<std::size_t> m_hits;
    std::size_t m_chosen = 0;
};

std::wstring Bytes(std::int64_t bytes) { return GroupedNumber(bytes) + L" 字节 (" + ShortSize(bytes) + L")"; }

}  // namespace

ConflictAnswer AskConflict(HWND hOwner, const std::wstring& path) {
    CConflictDlg dlg(hOwner, path);
    switch (dlg.DoModal()) {
    case IDC_OVERWRITE: return ConflictAnswer::Overwrite;
    case IDC_SKIP: return ConflictAnswer::Skip;
    case IDC_OVERWRITE_ALL: return ConflictAnswer::OverwriteAll;
    case IDC_SKIP_ALL: return ConflictAnswer::SkipAll;
    default: return ConflictAnswer::Cancel;
    }
}

bool AskDestination(HWND hOwner, const std::wstring& what, const std::wstring& lastFolder, std::wstring& destination) {
    CExtractDlg dlg(hOwner, what, lastFolder, destination);
    return dlg.DoModal() == IDOK;
}

void ShowReport(HWND hOwner, const std::wstring& title, const std::wstring& heading,
                const std::vector<std::wstring>& lines) {
    std::wstring text;
    for (const std::wstring& line : lines) text += line + L"\r\n";
    CTextDlg dlg(IDD_REPORT, hOwner, IDC_REPORT_LIST, text, title, IDC_REPORT_TEXT, heading);
    dlg.DoModal();
}

void ShowProperties(HWND hOwner, const CPacketView& view) {
    const PacketFigures& figures = view.Figures();
    std::wstring text;
    text += L"路径: " + Wide(view.PathOfPacket()) + L"\r\n";
    text += L"大小: " + Bytes(figures.size) + L"\r\n";
    text += L"文件头: Velkaron.Packet " + std::to_wstring(figures.indexOffset) + L" " +
            std::to_wstring(figures.indexLength) + L"\r\n";
    text += L"索引位置: " + GroupedNumber(figures.indexOffset) + L"\r\n";
    text += L"文件: " + GroupedNumber(static_cast<std::int64_t>(figures.files)) + L" 个\r\n";
    text += L"文件夹: " + GroupedNumber(static_cast<std::int64_t>(figures.folders)) + L" 个\r\n";
    text += L"数据: " + Bytes(figures.indexOffset - 64) + L"\r\n";
    text += L"索引: " + Bytes(figures.indexLength) + L"\r\n";
    text += std::wstring(L"名称编码: ") + (view.AllNamesGbk() ? L"GBK (代码页 936)" : L"不全是有效的 GBK, 按原样显示");
    CTextDlg dlg(IDD_PROPERTIES, hOwner, IDC_PROPERTIES_TEXT, text);
    dlg.DoModal();
}

bool FindInPacket(HWND hOwner, const CPacketView& view, std::size_t& chosen) {
    CFindDlg dlg(hOwner, view);
    if (dlg.DoModal() != IDOK) return false;
    chosen = dlg.Chosen();
    return true;
}

void ShowAbout(HWND hOwner) {
    CDialogBase dlg(IDD_VIEW_ABOUT, hOwner, true);
    dlg.DoModal();
}
