// The browser's one main window: the folder tree, the address field and the folder
// list side by side under a menu, a status bar below; it opens packets, moves between
// their folders and hands extraction, checks and searches to the core off its thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "viewer/FileList.h"
#include "viewer/FolderTree.h"
#include "viewer/PacketView.h"
#include "viewer/ViewSettings.h"

// The main window's class, by which other programs (and the tests) find it.
extern const wchar_t kViewWindowClass[];

class CMainWindow {
public:
    // Makes and shows the window as the settings place it; false when it cannot be made.
    bool Create(int nShow);
    HWND Handle() const { return m_hWnd; }
    // The window's own handling of a message before it is dispatched: its keys, Tab
    // between its panes, Enter in the address field. True when the message is used up.
    bool PreTranslate(MSG& msg);
    // Opens the packet at `path`; a message box says why when it cannot.
    bool OpenPacket(const std::wstring& path);
    // Removes the files opened from packets; called once the window is gone.
    void RemoveOpenedFiles();

private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnClose();
    void OnCommand(int nId);
    LRESULT OnNotify(const NMHDR* pHeader);
    void Layout();
    bool OverSplitter() const;
    void ApplyFont();

    // Moving around.
    void ShowFolder(std::size_t folder, bool syncTree = true);
    void GoUp();
    void GoToAddress();
    bool FindFolderIgnoringCase(const std::wstring& address, std::size_t& folder) const;
    void OpenFocused();
    void OpenFile(std::size_t index);
    void FocusNextPane(bool backwards);
    void UpdateStatus();
    void UpdateTitle();
    void UpdateRecentMenu();

    // The commands.
    void CommandOpen();
    void CommandExtract();
    void CommandCheck();
    void CommandCompare();
    void CommandFind();

    HWND m_hWnd = nullptr;
    HWND m_hAddress = nullptr;
    HWND m_hStatus = nullptr;
    HACCEL m_hKeys = nullptr;
    HFONT m_hFont = nullptr;
    CFolderTree m_tree;
    CFileList m_list;
    CPacketView m_view;
    ViewSettings m_settings;
    std::size_t m_folder = kRootFolder;
    int m_treeWidth = 220;
    bool m_bSplitting = false;
    bool m_bShowingFolder = false;  // the tree's selection follows the list, not the other way
    std::wstring m_strPacket;       // the open packet's path as the user gave it
    std::wstring m_strOpened;       // the private folder of files opened from packets
    unsigned m_nOpened = 0;
};
