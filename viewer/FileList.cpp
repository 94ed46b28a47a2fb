// The folder list: rows built from the packet's view when a folder is shown, their
// texts handed out on request (LVN_GETDISPINFO), so 20,000 rows cost only their sort.
#include "viewer/FileList.h"

#include <shellapi.h>

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "viewer/WideText.h"

namespace {

enum Column { kName, kSize, kOffset, kType };

std::wstring LowerExtension(const std::wstring& name) {
    const std::size_t dot = name.rfind(L'.');
    std::wstring extension = dot == std::wstring::npos ? std::wstring() : name.substr(dot);
    if (!extension.empty()) ::CharLowerBuffW(&extension[0], static_cast<DWORD>(extension.size()));
    return extension;
}

}  // namespace

HWND CFileList::Create(HWND hParent, int nId, const std::vector<int>& widths) {
    m_hWnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS |
                                   LVS_SHAREIMAGELISTS,
                               0, 0, 0, 0, hParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)),
                               ::GetModuleHandleW(nullptr), nullptr);
    if (m_hWnd == nullptr) return nullptr;
    ListView_SetExtendedListViewStyle(m_hWnd, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_HEADERDRAGDROP);
    static const wchar_t* const kTitles[] = {L"名称", L"大小", L"偏移", L"类型"};
    static const int kWidths[] = {260, 90, 90, 120};
    for (int column = 0; column < 4; ++column) {
        LVCOLUMNW lvc = {};
        lvc.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        lvc.fmt = column == kSize || column == kOffset ? LVCFMT_RIGHT : LVCFMT_LEFT;
        const int width = static_cast<std::size_t>(column) < widths.size() ? widths[static_cast<std::size_t>(column)] : 0;
        lvc.cx = width > 0 ? width : kWidths[column];
        lvc.pszText = const_cast<LPWSTR>(kTitles[column]);
        ::SendMessageW(m_hWnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
    }
    SHFILEINFOW info = {};
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(::SHGetFileInfoW(
        L"x", FILE_ATTRIBUTE_NORMAL, &info, sizeof info, SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    if (images != nullptr) ListView_SetImageList(m_hWnd, images, LVSIL_SMALL);
    return m_hWnd;
}

int CFileList::KindOf(const std::wstring& name, bool folder) {
    const std::wstring extension = folder ? std::wstring(L"\\") : LowerExtension(name);
    auto found = m_kindOfExtension.find(extension);
    if (found != m_kindOfExtension.end()) return found->second;
    SHFILEINFOW info = {};
    const std::wstring probe = folder ? std::wstring(L"folder") : L"file" + extension;
    Kind kind = {L"", 0};
    if (::SHGetFileInfoW(probe.c_str(), folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                         SHGFI_USEFILEATTRIBUTES | SHGFI_TYPENAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0) {
        kind.type = info.szTypeName;
        kind.icon = info.iIcon;
    }
    if (folder) kind.type = L"文件夹";
    if (kind.type.empty()) kind.type = extension.size() > 1 ? extension.substr(1) + L" 文件" : L"文件";
    m_kinds.push_back(kind);
    const int id = static_cast<int>(m_kinds.size() - 1);
    m_kindOfExtension[extension] = id;
    return id;
}

void CFileList::Show(const CPacketView* pView, std::size_t folder) {
    m_rows.clear();
    if (pView != nullptr && pView->IsOpen()) {
        const std::vector<std::size_t> children = pView->Children(folder);
        m_rows.reserve(children.size());
        for (std::size_t index : children) {
            Row row;
            row.index = index;
            row.folder = pView->IsFolder(index);
            row.size = row.folder ? 0 : pView->Length(index);
            row.offset = pView->Offset(index);
            row.name = Wide(pView->Name(index));
            row.key = NameSortKey(row.name);
            row.kind = KindOf(row.name, row.folder);
            m_rows.push_back(std::move(row));
        }
    }
    Sort();
    ListView_SetItemState(m_hWnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetItemCountEx(m_hWnd, static_cast<int>(m_rows.size()), 0);
    if (!m_rows.empty()) ListView_SetItemState(m_hWnd, 0, LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_EnsureVisible(m_hWnd, 0, FALSE);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CFileList::Sort() {
    const int column = m_sortColumn;
    const bool descending = m_bDescending;
    auto byName = [](const Row& a, const Row& b) {
        const int order = a.key.compare(b.key);
        return order != 0 ? order < 0 : a.index < b.index;
    };
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const Row& a, const Row& b) {
        if (a.folder != b.folder) return a.folder;  // folders first, in either direction
        const Row& x = descending ? b : a;
        const Row& y = descending ? a : b;
        switch (column) {
        case kSize:
            if (x.size != y.size) return x.size < y.size;
            break;
        case kOffset:
            if (x.offset != y.offset) return x.offset < y.offset;
            break;
        case kType:
            if (x.kind != y.kind) {
                const int order = ::lstrcmpiW(m_kinds[static_cast<std::size_t>(x.kind)].type.c_str(),
                                              m_kinds[static_cast<std::size_t>(y.kind)].type.c_str());
                if (order != 0) return order < 0;
            }
            break;
        default:
            break;
        }
        return byName(x, y);
    });
    ShowSortArrow();
}

void CFileList::SortBy(int column) {
    std::vector<std::size_t> selected = Selected();
    std::size_t focused = 0;
    const bool hasFocus = FocusedIndex(focused);
    m_bDescending = column == m_sortColumn ? !m_bDescending : false;
    m_sortColumn = column;
    Sort();
    // The same entries stay selected, wherever their rows went.
    std::unordered_map<std::size_t, int> rowOf;
    for (std::size_t row = 0; row < m_rows.size(); ++row) rowOf[m_rows[row].index] = static_cast<int>(row);
    ListView_SetItemState(m_hWnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (std::size_t index : selected) ListView_SetItemState(m_hWnd, rowOf[index], LVIS_SELECTED, LVIS_SELECTED);
    if (hasFocus) ListView_SetItemState(m_hWnd, rowOf[focused], LVIS_FOCUSED, LVIS_FOCUSED);
    ::InvalidateRect(m_hWnd, nullptr, TRUE);
}

void CFileList::ShowSortArrow() const {
    HWND hHeader = ListView_GetHeader(m_hWnd);
    for (int column = 0; column < 4; ++column) {
        HDITEMW item = {};
        item.mask = HDI_FORMAT;
        ::SendMessageW(hHeader, HDM_GETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
        item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (column == m_sortColumn) item.fmt |= m_bDescending ? HDF_SORTDOWN : HDF_SORTUP;
        ::SendMessageW(hHeader, HDM_SETITEMW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&item));
    }
}

int CFileList::RowOf(std::size_t index) const {
    for (std::size_t row = 0; row < m_rows.size(); ++row) {
        if (m_rows[row].index == index) return static_cast<int>(row);
    }
    return -1;
}

void CFileList::SelectIndex(std::size_t index) {
    const int row = RowOf(index);
    ListView_SetItemState(m_hWnd, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    if (row < 0) return;
    ListView_SetItemState(m_hWnd, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    ListView_SetSelectionMark(m_hWnd, row);
    ListView_EnsureVisible(m_hWnd, row, FALSE);
}

std::vector<std::size_t> CFileList::Selected() const {
    std::vector<std::size_t> selected;
    for (int row = ListView_GetNextItem(m_hWnd, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(m_hWnd, row, LVNI_SELECTED)) {
        if (static_cast<std::size_t>(row) < m_rows.size()) selected.push_back(m_rows[static_cast<std::size_t>(row)].index);
    }
    return selected;
}

std::size_t CFileList::SelectedCount(std::int64_t& bytes) const {
    std::size_t count = 0;
    bytes = 0;
    for (int row = ListView_GetNextItem(m_hWnd, -1, LVNI_SELECTED); row >= 0;
         row = ListView_GetNextItem(m_hWnd, row, LVNI_SELECTED)) {
        if (static_cast<std::size_t>(row) >= m_rows.size()) continue;
        ++count;
        bytes += m_rows[static_cast<std::size_t>(row)].size;
    }
    return count;
}

bool CFileList::FocusedIndex(std::size_t& index) const {
    const int row = ListView_GetNextItem(m_hWnd, -1, LVNI_FOCUSED | LVNI_SELECTED);
    if (row < 0 || static_cast<std::size_t>(row) >= m_rows.size()) return false;
    index = m_rows[static_cast<std::size_t>(row)].index;
    return true;
}

void CFileList::SelectAll() { ListView_SetItemState(m_hWnd, -1, LVIS_SELECTED, LVIS_SELECTED); }

std::vector<int> CFileList::ColumnWidths() const {
    std::vector<int> widths;
    for (int column = 0; column < 4; ++column) widths.push_back(ListView_GetColumnWidth(m_hWnd, column));
    return widths;
}

int CFileList::FindPrefix(const std::wstring& prefix, int start) const {
    const int count = static_cast<int>(m_rows.size());
    for (int step = 0; step < count; ++step) {
        const int row = (start + step) % count;
        const std::wstring& name = m_rows[static_cast<std::size_t>(row)].name;
        if (name.size() >= prefix.size() &&
            ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name.c_str(), static_cast<int>(prefix.size()),
                             prefix.c_str(), static_cast<int>(prefix.size())) == CSTR_EQUAL) {
            return row;
        }
    }
    return -1;
}

bool CFileList::OnNotify(const NMHDR* pHeader, LRESULT& result) {
    switch (pHeader->code) {
    case LVN_GETDISPINFOW: {
        LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(pHeader))->item;
        if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= m_rows.size()) return true;
        const Row& row = m_rows[static_cast<std::size_t>(item.iItem)];
        if (item.mask & LVIF_IMAGE) item.iImage = m_kinds[static_cast<std::size_t>(row.kind)].icon;
        if (item.mask & LVIF_TEXT && item.cchTextMax > 0) {
            std::wstring text;
            switch (item.iSubItem) {
            case kName: text = row.name; break;
            case kSize: text = row.folder ? std::wstring() : GroupedNumber(row.size); break;
            case kOffset: text = row.folder ? std::wstring() : GroupedNumber(row.offset); break;
            default: text = m_kinds[static_cast<std::size_t>(row.kind)].type; break;
            }
            const std::size_t n = std::min<std::size_t>(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
            std::wmemcpy(item.pszText, text.c_str(), n);
            item.pszText[n] = L'\0';
        }
        result = 0;
        return true;
    }
    case LVN_ODFINDITEMW: {
        const NMLVFINDITEMW* find = reinterpret_cast<const NMLVFINDITEMW*>(pHeader);
        result = -1;
        if ((find->lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) && find->lvfi.psz != nullptr && !m_rows.empty()) {
            const int start = find->iStart < 0 || find->iStart >= static_cast<int>(m_rows.size()) ? 0 : find->iStart;
            result = FindPrefix(find->lvfi.psz, start);
        }
        return true;
    }
    case LVN_COLUMNCLICK:
        SortBy(reinterpret_cast<const NMLISTVIEW*>(pHeader)->iSubItem);
        result = 0;
        return true;
    default:
        return false;
    }
}
