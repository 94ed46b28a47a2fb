// The browser's folder tree: the packet's root and its folders, each folder's
// subfolders added the first time it is opened, so a packet of any size shows at once.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstddef>
#include <string>
#include <unordered_set>

#include "viewer/PacketView.h"

class CFolderTree {
public:
    // Makes the tree view as child `nId` of `hParent`.
    HWND Create(HWND hParent, int nId);
    HWND Handle() const { return m_hWnd; }

    // Shows the packet's root as `rootText` with its folders below it (nothing for no packet).
    void Reset(const CPacketView* pView, const std::wstring& rootText);
    // Opens the folders above `folder` and selects it; TVN_SELCHANGED follows as for a click.
    void Select(std::size_t folder);
    // The folder of a tree item (its lParam).
    static std::size_t FolderOf(LPARAM lParam) { return static_cast<std::size_t>(lParam); }

    // Handles the tree's own notifications (children asked for, a folder opened); false
    // for those it leaves to the window.
    bool OnNotify(const NMHDR* pHeader, LRESULT& result);

private:
    HTREEITEM Insert(HTREEITEM hParent, std::size_t folder, const std::wstring& text);
    void Fill(HTREEITEM hItem, std::size_t folder);
    HTREEITEM ChildOf(HTREEITEM hParent, std::size_t folder);

    HWND m_hWnd = nullptr;
    const CPacketView* m_pView = nullptr;
    HTREEITEM m_hRoot = nullptr;
    int m_folderIcon = 0;
    int m_openIcon = 0;
    std::unordered_set<std::size_t> m_filled;  // folders whose subfolders are in the tree
};
