// Where the browser's time goes on a packet, in one process under Wine: the same
// classes as VelkaronView.exe (the packet's view, the folder tree, the folder list)
// in a hidden window of its own, each step timed once, as a fresh program meets it.
// Prints one JSON object:
//   velkaron-view-phases.exe PACKET FOLDER
// PACKET is the packet; FOLDER the root's folder whose listing is timed as Enter shows it.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/WinClock.h"
#include "viewer/FileList.h"
#include "viewer/FolderTree.h"
#include "viewer/PacketView.h"
#include "viewer/WideText.h"

namespace {

CFileList* g_pList = nullptr;
CFolderTree* g_pTree = nullptr;

// The panes' notifications go back to them, as in the browser's window.
LRESULT CALLBACK HostProc(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_NOTIFY) {
        const NMHDR* pHeader = reinterpret_cast<const NMHDR*>(lParam);
        LRESULT result = 0;
        if (g_pList != nullptr && pHeader->hwndFrom == g_pList->Handle() && g_pList->OnNotify(pHeader, result)) {
            return result;
        }
        if (g_pTree != nullptr && pHeader->hwndFrom == g_pTree->Handle() && g_pTree->OnNotify(pHeader, result)) {
            return result;
        }
    }
    return ::DefWindowProcW(hWnd, msg, wParam, lParam);
}

struct Phase {
    std::string name;
    double seconds;
};

// A timer that adds one named step per call.
class CPhases {
public:
    template <typename Step>
    void Time(const std::string& name, Step step) {
        const double start = Now();
        step();
        m_phases.push_back({name, Now() - start});
    }
    void Print() const {
        std::printf("{");
        for (std::size_t n = 0; n < m_phases.size(); ++n) {
            std::printf("%s\"%s\": %.4f", n > 0 ? ", " : "", m_phases[n].name.c_str(), m_phases[n].seconds);
        }
        std::printf("}\n");
    }

private:
    std::vector<Phase> m_phases;
};

// The steps of a folder's listing taken apart, after the list did them as one:
// names, sort keys, then the sort of the keys.
void TimeListingSteps(const CPacketView& view, std::size_t folder, const char* prefix, CPhases& phases) {
    std::vector<std::size_t> children;
    std::vector<std::wstring> names;
    std::vector<std::string> keys;
    const std::string p = prefix;
    phases.Time(p + "children", [&] { children = view.Children(folder); });
    phases.Time(p + "names", [&] {
        for (std::size_t index : children) {
            view.IsFolder(index);
            view.Length(index);
            view.Offset(index);
            names.push_back(Wide(view.Name(index)));
        }
    });
    phases.Time(p + "sort_keys", [&] {
        for (const std::wstring& name : names) keys.push_back(NameSortKey(name));
    });
    phases.Time(p + "sort", [&] { std::stable_sort(keys.begin(), keys.end()); });
}

}  // namespace

int main() {
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (argv == nullptr || argc != 3) {
        std::fprintf(stderr, "usage: velkaron-view-phases.exe PACKET FOLDER\n");
        return 2;
    }
    const std::string packet = Utf8(argv[1]);
    const std::string folderName = Utf8(argv[2]);
    ::LocalFree(argv);

    CPhases phases;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = &HostProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VelkaronViewPhases";
    ::RegisterClassW(&wc);
    HWND hHost = ::CreateWindowExW(0, wc.lpszClassName, L"", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                                   wc.hInstance, nullptr);
    CFolderTree tree;
    CFileList list;
    phases.Time("create_panes", [&] {
        tree.Create(hHost, 1);
        list.Create(hHost, 2, {});
    });
    g_pTree = &tree;
    g_pList = &list;

    CPacketView view;
    std::string error;
    bool opened = false;
    phases.Time("view_open", [&] { opened = view.Open(packet, error); });
    if (!opened) {
        std::fprintf(stderr, "velkaron-view-phases: %s\n", error.c_str());
        return 1;
    }
    // The reader's own open and check again, without the view's count of files and folders.
    velkaron::Packet alone;
    phases.Time("reader_open_again", [&] { alone.Open(packet, VKR_OPEN_GBK | VKR_OPEN_UTF8_PATH); });
    alone = velkaron::Packet();
    phases.Time("tree_reset", [&] { tree.Reset(&view, L"packet"); });
    phases.Time("list_root", [&] { list.Show(&view, kRootFolder); });
    std::size_t folder = kRootFolder;
    if (!view.FindFolder(folderName, folder)) {
        std::fprintf(stderr, "velkaron-view-phases: no folder %s\n", folderName.c_str());
        return 1;
    }
    phases.Time("list_folder", [&] { list.Show(&view, folder); });
    phases.Time("tree_select", [&] { tree.Select(folder); });
    TimeListingSteps(view, folder, "folder_", phases);
    TimeListingSteps(view, kRootFolder, "root_", phases);
    g_pTree = nullptr;
    g_pList = nullptr;
    ::DestroyWindow(hHost);
    phases.Print();
    return 0;
}
