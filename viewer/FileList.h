// The browser's list of one folder: a virtual list view (it asks for the rows it
// shows), folders first, then files, sorted by a column in Windows' order of names.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "viewer/PacketView.h"

class CFileList {
public:
    // Makes the list view as child `nId` of `hParent`; `widths` (pixels, 0 for the
    // default) of the columns 名称, 大小, 偏移, 类型.
    HWND Create(HWND hParent, int nId, const std::vector<int>& widths);
    HWND Handle() const { return m_hWnd; }

    // Lists the folder's entries (nothing for no packet), sorted as last asked.
    void Show(const CPacketView* pView, std::size_t folder);
    // Sorts by `column`; the same column again reverses the order.
    void SortBy(int column);

    std::size_t Rows() const { return m_rows.size(); }
    std::size_t IndexAt(int row) const { return m_rows[static_cast<std::size_t>(row)].index; }
    // The row showing entry `index`; -1 when none does.
    int RowOf(std::size_t index) const;
    // Selects and focuses entry `index`'s row alone and scrolls it into view.
    void SelectIndex(std::size_t index);
    // The selected entries in row order.
    std::vector<std::size_t> Selected() const;
    // How many rows are selected, in one pass; `bytes` gets their files' total size.
    std::size_t SelectedCount(std::int64_t& bytes) const;
    // The focused row's entry when it is selected; false when none is.
    bool FocusedIndex(std::size_t& index) const;
    void SelectAll();
    // The columns' widths now, for the settings.
    std::vector<int> ColumnWidths() const;

    // Handles the list's notifications (rows asked for, type-ahead, header clicks);
    // false for those it leaves to the window.
    bool OnNotify(const NMHDR* pHeader, LRESULT& result);

private:
    struct Row {
        std::size_t index;
        bool folder;
        std::int64_t size;
        std::int64_t offset;
        std::wstring name;
        std::string key;  // the name's sort key (case ignored)
        int kind;         // into m_kinds
    };
    struct Kind {
        std::wstring type;
        int icon;
    };

    int KindOf(const std::wstring& name, bool folder);
    void Sort();
    void ShowSortArrow() const;
    int FindPrefix(const std::wstring& prefix, int start) const;

    HWND m_hWnd = nullptr;
    std::vector<Row> m_rows;
    std::vector<Kind> m_kinds;
    std::map<std::wstring, int> m_kindOfExtension;  // lower-case extension to m_kinds
    int m_sortColumn = 0;
    bool m_bDescending = false;
};
