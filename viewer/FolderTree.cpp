// The folder tree over the packet's view: an item per folder, its lParam the folder's
// index; children are added when an item is first expanded (TVN_ITEMEXPANDING), and
// whether an item may be expanded is asked only when it shows (I_CHILDRENCALLBACK).
#include "viewer/FolderTree.h"

#include <shellapi.h>

#include <vector>

#include "viewer/WideText.h"

HWND CFolderTree::Create(HWND hParent, int nId) {
    m_hWnd = ::CreateWindowExW(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"",
                               WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT |
                                   TVS_SHOWSELALWAYS,
                               0, 0, 0, 0, hParent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)),
                               ::GetModuleHandleW(nullptr), nullptr);
    if (m_hWnd == nullptr) return nullptr;
    SHFILEINFOW info = {};
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(
        ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                         SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    m_folderIcon = info.iIcon;
    ::SHGetFileInfoW(L"folder", FILE_ATTRIBUTE_DIRECTORY, &info, sizeof info,
                     SHGFI_USEFILEATTRIBUTES | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
    m_openIcon = info.iIcon;
    if (images != nullptr) TreeView_SetImageList(m_hWnd, images, TVSIL_NORMAL);
    return m_hWnd;
}

HTREEITEM CFolderTree::Insert(HTREEITEM hParent, std::size_t folder, const std::wstring& text) {
    TVINSERTSTRUCTW insert = {};
    insert.hParent = hParent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<LPWSTR>(text.c_str());
    insert.item.lParam = static_cast<LPARAM>(folder);
    insert.item.cChildren = I_CHILDRENCALLBACK;
    insert.item.iImage = m_folderIcon;
    insert.item.iSelectedImage = m_openIcon;
    return reinterpret_cast<HTREEITEM>(::SendMessageW(m_hWnd, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

void CFolderTree::Reset(const CPacketView* pView, const std::wstring& rootText) {
    m_pView = pView;
    TreeView_DeleteAllItems(m_hWnd);
    m_filled.clear();
    m_hRoot = nullptr;
    if (pView == nullptr || !pView->IsOpen()) return;
    m_hRoot = Insert(TVI_ROOT, kRootFolder, rootText);
    Fill(m_hRoot, kRootFolder);
    TreeView_Expand(m_hWnd, m_hRoot, TVE_EXPAND);
}

void CFolderTree::Fill(HTREEITEM hItem, std::size_t folder) {
    if (!m_filled.insert(folder).second) return;
    for (std::size_t child : m_pView->Children(folder)) {
        if (m_pView->IsFolder(child)) Insert(hItem, child, Wide(m_pView->Name(child)));
    }
}

HTREEITEM CFolderTree::ChildOf(HTREEITEM hParent, std::size_t folder) {
    for (HTREEITEM hChild = TreeView_GetChild(m_hWnd, hParent); hChild != nullptr;
         hChild = TreeView_GetNextSibling(m_hWnd, hChild)) {
        TVITEMW item = {};
        item.mask = TVIF_PARAM;
        item.hItem = hChild;
        ::SendMessageW(m_hWnd, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        if (FolderOf(item.lParam) == folder) return hChild;
    }
    return nullptr;
}

void CFolderTree::Select(std::size_t folder) {
    if (m_hRoot == nullptr) return;
    std::vector<std::size_t> chain;  // from the folder up to the top level
    for (std::size_t at = folder; at != kRootFolder; at = m_pView->Parent(at)) chain.push_back(at);
    HTREEITEM hItem = m_hRoot;
    for (auto it = chain.rbegin(); it != chain.rend() && hItem != nullptr; ++it) {
        Fill(hItem, m_pView->Parent(*it));
        TreeView_Expand(m_hWnd, hItem, TVE_EXPAND);
        hItem = ChildOf(hItem, *it);
    }
    if (hItem != nullptr) {
        TreeView_SelectItem(m_hWnd, hItem);
        TreeView_EnsureVisible(m_hWnd, hItem);
    }
}

bool CFolderTree::OnNotify(const NMHDR* pHeader, LRESULT& result) {
    switch (pHeader->code) {
    case TVN_GETDISPINFOW: {
        TVITEMW& item = reinterpret_cast<NMTVDISPINFOW*>(const_cast<NMHDR*>(pHeader))->item;
        if (item.mask & TVIF_CHILDREN) item.cChildren = m_pView->HasSubfolders(FolderOf(item.lParam)) ? 1 : 0;
        result = 0;
        return true;
    }
    case TVN_ITEMEXPANDINGW: {
        const NMTREEVIEWW* tree = reinterpret_cast<const NMTREEVIEWW*>(pHeader);
        if (tree->action & TVE_EXPAND) Fill(tree->itemNew.hItem, FolderOf(tree->itemNew.lParam));
        result = FALSE;
        return true;
    }
    default:
        return false;
    }
}
