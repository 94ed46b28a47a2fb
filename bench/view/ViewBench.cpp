// Times the real VelkaronView.exe on packets given to it, driven from outside by
// window handles: from CreateProcess until its list shows the packet's root, from
// Enter on a folder's row until the list shows that folder, and the process's
// memory once it is idle over each. Packets take turns round by round; a start of
// the program with no packet in each round gives the floor of starting it at all.
// One JSON object per run goes to RESULTS; bench/view.py turns them into the report.
//   velkaron-view-bench.exe VIEW WORK RESULTS ROUNDS WARMUP IDLE-LOAD PACKET...
// VIEW is VelkaronView.exe, copied into WORK\view\ so that its settings file is its
// own; each PACKET is "LABEL|PATH|ROOT-ROWS|FOLDER|FOLDER-ROWS": the packet, the rows
// its root shows, the root's folder to open with Enter and that folder's rows.
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/WinClock.h"
#include "tests/gui/ViewDriver.h"
#include "viewer/resource.h"

namespace {

const double kTimeoutSeconds = 120;
const DWORD kAnswerMs = 60000;

// The 1, 5 and 15 minute load averages of the machine Wine runs on, as JSON; -1 when unknown.
std::string LoadAverage() {
    double a = -1, b = -1, c = -1;
    if (FILE* pFile = std::fopen("Z:\\proc\\loadavg", "r")) {
        if (std::fscanf(pFile, "%lf %lf %lf", &a, &b, &c) != 3) a = b = c = -1;
        std::fclose(pFile);
    }
    char text[64];
    std::snprintf(text, sizeof(text), "[%.2f, %.2f, %.2f]", a, b, c);
    return text;
}

void WaitForLoadBelow(double limit) {
    for (int i = 0; i < 60; ++i) {
        double a = -1;
        if (FILE* pFile = std::fopen("Z:\\proc\\loadavg", "r")) {
            if (std::fscanf(pFile, "%lf", &a) != 1) a = -1;
            std::fclose(pFile);
        }
        if (a < limit) return;
        ::Sleep(5000);
    }
}

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string utf8(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

// A visible main window of the browser; there is one browser at a time in the prefix.
HWND FindBrowser() {
    HWND hWnd = ::FindWindowW(L"VelkaronView", nullptr);
    return hWnd != nullptr && ::IsWindowVisible(hWnd) ? hWnd : nullptr;
}

// The list's row count, asked as a message the window's thread answers between two
// messages of its own: while it opens a packet or a folder the answer waits; -1 when
// there is no answer.
int RowCount(HWND hList) {
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(hList, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, kAnswerMs, &result)) return -1;
    return static_cast<int>(result);
}

// Spins (1 ms sleeps) until `done` holds or the timeout passes; the time it held, or a negative number.
template <typename Done>
double SpinUntil(Done done) {
    const double start = Now();
    while (!done()) {
        if (Now() - start > kTimeoutSeconds) return -1;
        ::Sleep(1);
    }
    return Now();
}

struct Memory {
    double privateMb = -1, peakPrivateMb = -1, workingSetMb = -1, peakWorkingSetMb = -1;
    // The same process as Linux counts it: resident anonymous (private) memory,
    // resident file pages, and the peak resident set.
    double rssAnonMb = -1, rssFileMb = -1, hwmMb = -1;
};

std::string ReadSmall(const std::wstring& path) {
    std::string bytes;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return bytes;
    char buffer[8192];
    DWORD n = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
    ::CloseHandle(h);
    return bytes;
}

// The Linux process id of the running copy of `exe` (its Windows path, as Wine puts
// it first in the process's command line); 0 when none is found. Wine reports no
// private bytes of another process (PrivateUsage is its swap, 0 here), so the
// driver reads them where Wine keeps them, in /proc through drive Z:.
DWORD LinuxProcessOf(const std::wstring& exe) {
    const std::string wanted = Utf8(exe) + '\0';
    WIN32_FIND_DATAW found;
    HANDLE hFind = ::FindFirstFileW(L"Z:\\proc\\*", &found);
    if (hFind == INVALID_HANDLE_VALUE) return 0;
    DWORD pid = 0;
    do {
        if (found.cFileName[0] < L'1' || found.cFileName[0] > L'9') continue;
        const std::wstring dir = std::wstring(L"Z:\\proc\\") + found.cFileName;
        const std::string command = ReadSmall(dir + L"\\cmdline");
        if (command.size() >= wanted.size() && _strnicmp(command.c_str(), wanted.c_str(), wanted.size()) == 0 &&
            ReadSmall(dir + L"\\status").find("State:\tZ") == std::string::npos) {
            pid = static_cast<DWORD>(_wtoi(found.cFileName));
        }
    } while (pid == 0 && ::FindNextFileW(hFind, &found));
    ::FindClose(hFind);
    return pid;
}

// A "Name:   123 kB" line of /proc's status, in MiB; -1 when missing.
double StatusMb(const std::string& status, const char* name) {
    const std::size_t at = status.find(std::string("\n") + name + ":");
    return at == std::string::npos ? -1 : std::atof(status.c_str() + at + std::strlen(name) + 2) / 1024.0;
}

Memory MemoryOf(DWORD processId, DWORD linuxId) {
    Memory memory;
    if (linuxId != 0) {
        const std::string status = ReadSmall(L"Z:\\proc\\" + std::to_wstring(linuxId) + L"\\status");
        memory.rssAnonMb = StatusMb(status, "RssAnon");
        memory.rssFileMb = StatusMb(status, "RssFile");
        memory.hwmMb = StatusMb(status, "VmHWM");
    }
    HANDLE hProcess = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (hProcess == nullptr) return memory;
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters)) {
        const double mb = 1024.0 * 1024.0;
        memory.privateMb = static_cast<double>(counters.PrivateUsage) / mb;
        memory.peakPrivateMb = static_cast<double>(counters.PeakPagefileUsage) / mb;
        memory.workingSetMb = static_cast<double>(counters.WorkingSetSize) / mb;
        memory.peakWorkingSetMb = static_cast<double>(counters.PeakWorkingSetSize) / mb;
    }
    ::CloseHandle(hProcess);
    return memory;
}

// The memory once the window has answered a message and nothing has come for a while.
Memory MemoryWhenIdle(HWND hWindow, DWORD processId, DWORD linuxId) {
    DWORD_PTR result = 0;
    ::SendMessageTimeoutW(hWindow, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result);
    ::Sleep(500);
    ::SendMessageTimeoutW(hWindow, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result);
    return MemoryOf(processId, linuxId);
}

std::string Json(const Memory& m) {
    char text[256];
    std::snprintf(text, sizeof(text),
                  "{\"private_mb\": %.2f, \"peak_private_mb\": %.2f, \"working_set_mb\": %.2f, "
                  "\"peak_working_set_mb\": %.2f, \"rss_anon_mb\": %.2f, \"rss_file_mb\": %.2f, \"hwm_mb\": %.2f}",
                  m.privateMb, m.peakPrivateMb, m.workingSetMb, m.peakWorkingSetMb, m.rssAnonMb, m.rssFileMb,
                  m.hwmMb);
    return text;
}

struct Packet {
    std::wstring label, path, folder;
    int rootRows = 0, folderRows = 0;
};

bool ParsePacket(const std::wstring& argument, Packet& packet) {
    std::vector<std::wstring> parts;
    std::size_t from = 0;
    for (std::size_t bar; (bar = argument.find(L'|', from)) != std::wstring::npos; from = bar + 1) {
        parts.push_back(argument.substr(from, bar - from));
    }
    parts.push_back(argument.substr(from));
    if (parts.size() != 5) return false;
    packet = {parts[0], parts[1], parts[3], _wtoi(parts[2].c_str()), _wtoi(parts[4].c_str())};
    return packet.rootRows > 0 && packet.folderRows > 0;
}

// What one run saw; times in seconds.
struct Run {
    double root = -1;     // from CreateProcess until the list held the root's rows
    double rootText = -1;  // and until a row's text had come back as well
    double window = -1;   // from CreateProcess until the main window was visible
    double enter = -1;    // from posting Enter on the folder's row until the list held its rows
    double enterText = -1;
    double close = -1;    // from WM_CLOSE until the process had ended
    Memory atRoot, atFolder;
    std::string firstRow;  // the folder's first row, column 0
};

// Starts the browser on `packet` (none when its path is empty) and waits for its window
// and root; polled from this thread while CViewProcess::Start waits for the window on its
// own (every 20 ms) so that the times are the program's, not the driver's polling.
bool StartAndTimeRoot(CViewProcess& view, const std::wstring& exe, const Packet& packet, Run& run) {
    const double start = Now();
    std::atomic<bool> started{false};
    bool ok = false;
    std::thread starter([&] {
        ok = view.Start(exe, packet.path);
        started = true;
    });
    HWND hWindow = nullptr;
    const double shown = SpinUntil([&] { return (hWindow = FindBrowser()) != nullptr || started; });
    run.window = hWindow != nullptr ? shown - start : -1;
    if (hWindow != nullptr && packet.rootRows > 0) {
        HWND hList = ::GetDlgItem(hWindow, IDC_VIEW_LIST);
        const double listed = SpinUntil([&] { return RowCount(hList) == packet.rootRows; });
        if (listed > 0) run.root = listed - start;
    }
    starter.join();
    if (!ok || run.window < 0) return false;
    if (packet.rootRows > 0) {
        const double text = SpinUntil([&] { return !view.Cell(0, 0).empty(); });
        if (run.root < 0 || text < 0) return false;
        run.rootText = text - start;
    }
    return true;
}

bool TimeFolder(const CViewProcess& view, const Packet& packet, Run& run) {
    if (!view.Select({packet.folder})) return false;
    HWND hList = view.Pane(IDC_VIEW_LIST);
    const double start = Now();
    view.Key(IDC_VIEW_LIST, VK_RETURN);
    const double listed = SpinUntil([&] { return RowCount(hList) == packet.folderRows; });
    if (listed < 0) return false;
    run.enter = listed - start;
    std::wstring first;
    const double text = SpinUntil([&] { return !(first = view.Cell(0, 0)).empty(); });
    if (text < 0) return false;
    run.enterText = text - start;
    run.firstRow = Utf8(first);
    return true;
}

bool Close(const CViewProcess& view, Run& run) {
    const double start = Now();
    ::PostMessageW(view.Window(), WM_CLOSE, 0, 0);
    if (!view.WaitForExit(30000)) return false;
    run.close = Now() - start;
    return true;
}

std::string JsonText(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

bool MeasurePacket(const std::wstring& exe, const std::wstring& settings, const Packet& packet, int round,
                   bool warmup, FILE* pResults) {
    ::DeleteFileW(settings.c_str());
    const std::string load = LoadAverage();
    Run run;
    {
        CViewProcess view;
        if (!StartAndTimeRoot(view, exe, packet, run)) return false;
        const DWORD linuxId = LinuxProcessOf(exe);
        if (packet.rootRows > 0) {
            run.atRoot = MemoryWhenIdle(view.Window(), view.ProcessId(), linuxId);
            if (!TimeFolder(view, packet, run)) return false;
            run.atFolder = MemoryWhenIdle(view.Window(), view.ProcessId(), linuxId);
        } else {
            run.atRoot = run.atFolder = MemoryWhenIdle(view.Window(), view.ProcessId(), linuxId);
        }
        if (!Close(view, run)) return false;
    }
    ::DeleteFileW(settings.c_str());
    std::fprintf(pResults,
                 "{\"packet\": %s, \"round\": %d, \"warmup\": %s, \"load\": %s, \"window\": %.4f, \"root\": %.4f, "
                 "\"root_text\": %.4f, \"enter\": %.4f, \"enter_text\": %.4f, \"close\": %.4f, \"first_row\": %s, "
                 "\"memory_root\": %s, \"memory_folder\": %s}\n",
                 JsonText(Utf8(packet.label)).c_str(), round, warmup ? "true" : "false", load.c_str(), run.window,
                 run.root, run.rootText, run.enter, run.enterText, run.close, JsonText(run.firstRow).c_str(),
                 Json(run.atRoot).c_str(), Json(run.atFolder).c_str());
    std::fflush(pResults);
    return true;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "velkaron-view-bench: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main() {
    int argc = 0;
    std::unique_ptr<LPWSTR, HLOCAL (*)(HLOCAL)> args(::CommandLineToArgvW(::GetCommandLineW(), &argc),
                                                     [](HLOCAL p) { return ::LocalFree(p); });
    if (args == nullptr || argc < 8) {
        return Fail("usage: velkaron-view-bench.exe VIEW WORK RESULTS ROUNDS WARMUP IDLE-LOAD PACKET...");
    }
    LPWSTR* argv = args.get();
    std::wstring work = argv[2];
    if (work.back() != L'\\') work += L'\\';
    const int rounds = _wtoi(argv[4]);
    const int warmup = _wtoi(argv[5]);
    const double idleLoad = _wtof(argv[6]);
    std::vector<Packet> packets;
    for (int n = 7; n < argc; ++n) {
        Packet packet;
        if (!ParsePacket(argv[n], packet)) return Fail("a packet is LABEL|PATH|ROOT-ROWS|FOLDER|FOLDER-ROWS");
        packets.push_back(packet);
    }
    // The program with no packet: what starting it costs.
    packets.push_back(Packet{L"no packet", L"", L"", 0, 0});

    const std::wstring dir = work + L"view\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    const std::wstring exe = dir + L"VelkaronView.exe";
    if (!::CopyFileW(argv[1], exe.c_str(), FALSE)) return Fail("cannot copy VelkaronView.exe");
    const std::wstring settings = dir + L"velkaron-view.ini";
    std::unique_ptr<FILE, int (*)(FILE*)> results(_wfopen(argv[3], L"w"), &std::fclose);
    if (results == nullptr) return Fail("cannot write the results file");

    for (int round = 0; round < warmup + rounds; ++round) {
        if (idleLoad > 0) WaitForLoadBelow(idleLoad);
        // Each round takes the packets in turn, starting one further along each time,
        // so that none always follows the same one.
        for (std::size_t k = 0; k < packets.size(); ++k) {
            const Packet& packet = packets[(k + static_cast<std::size_t>(round)) % packets.size()];
            if (!MeasurePacket(exe, settings, packet, round, round < warmup, results.get())) {
                return Fail("the run on " + Utf8(packet.label) + " failed in round " + std::to_string(round + 1));
            }
        }
        std::fprintf(stderr, "velkaron-view-bench: round %d of %d done\n", round + 1, warmup + rounds);
    }
    return 0;
}
