// Times the real Velkaron.exe packing a folder from its dialog, driven by window
// handles, beside velkaron-pack.exe running the same job, rounds interleaved.
// For the dialog it also records how long the window takes to answer a message
// (WM_NULL sent every 20 ms from another thread) and when the status line changes
// (read every 50 ms). One JSON object per run goes to RESULTS; bench/dialog.py
// turns them into the report.
//   velkaron-dialog-bench.exe BIN SOURCE WORK RESULTS ROUNDS WARMUP IDLE-LOAD [CLI-OPTIONS]...
// BIN holds Velkaron.exe and velkaron-pack.exe; WORK is an empty folder for the
// runs; before each round the driver waits (up to five minutes) until the
// 1-minute load average is below IDLE-LOAD (0: no wait); each CLI-OPTIONS (for
// instance "--buffer-size 4096") is one command-line tool:
//   velkaron-pack.exe pack SOURCE PACKET -q --work-dir DIR CLI-OPTIONS
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/resource.h"
#include "bench/WinClock.h"
#include "tests/gui/GuiDriver.h"

namespace {

const DWORD kJobTimeoutMs = 30 * 60 * 1000;

bool Exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void Remove(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) ::DeleteFileA(path.c_str());
}

// Puts each existing file's data on the disk (fsync under Wine); the seconds it took.
double Flush(const std::vector<std::string>& paths) {
    double start = Now();
    for (const std::string& path : paths) {
        HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) continue;
        ::FlushFileBuffers(h);
        ::CloseHandle(h);
    }
    return Now() - start;
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    FILE* pFile = std::fopen(path.c_str(), "rb");
    if (pFile == nullptr) return bytes;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof(buffer), pFile)) > 0;) bytes.append(buffer, n);
    std::fclose(pFile);
    return bytes;
}

// The 1, 5 and 15 minute load averages of the machine Wine runs on; -1 when unknown.
void ReadLoad(double& a, double& b, double& c) {
    a = b = c = -1;
    if (FILE* pFile = std::fopen("Z:\\proc\\loadavg", "r")) {
        if (std::fscanf(pFile, "%lf %lf %lf", &a, &b, &c) != 3) a = b = c = -1;
        std::fclose(pFile);
    }
}

void WaitForLoadBelow(double limit) {
    double a, b, c;
    for (int i = 0; i < 60 && (ReadLoad(a, b, c), a >= limit); ++i) ::Sleep(5000);
}

// The load averages as JSON.
std::string LoadAverage() {
    double a, b, c;
    ReadLoad(a, b, c);
    char text[64];
    std::snprintf(text, sizeof(text), "[%.2f, %.2f, %.2f]", a, b, c);
    return text;
}

std::string JsonList(const std::vector<double>& values) {
    std::string text = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        char number[32];
        std::snprintf(number, sizeof(number), "%s%.4f", i > 0 ? ", " : "", values[i]);
        text += number;
    }
    return text + "]";
}

struct Paths {
    std::string bin, source, work;
    std::string DialogDir() const { return work + "dialog\\"; }
    std::string DialogPacket() const { return work + "dialog.dat"; }
    std::string CliWorkDir() const { return work + "cli-data"; }
    std::string CliPacket() const { return work + "cli.dat"; }
    std::vector<std::string> DialogOutputs() const {
        return {DialogPacket(), DialogDir() + "data\\_data_temp.dat", DialogDir() + "data\\_index_temp.txt"};
    }
    std::vector<std::string> CliOutputs() const {
        return {CliPacket(), CliWorkDir() + "\\_data_temp.dat", CliWorkDir() + "\\_index_temp.txt"};
    }
};

// What one dialog run saw, in seconds from the click on the pack button.
struct DialogRun {
    double seconds = 0;                 // until the settings file appeared: the job had returned
    double flush = 0;                   // then to put the packet and the work files on the disk
    std::vector<double> answers;        // each WM_NULL's round trip
    std::vector<double> statusChanges;  // when the status line showed a new text
    int files = -1, folders = -1;       // its counts once the log shows the end of the job
};

bool MeasureDialog(const Paths& paths, DialogRun& run) {
    Remove(paths.DialogOutputs());
    ::DeleteFileA((paths.DialogDir() + "velkaron.ini").c_str());

    CVelkaronProcess app;
    if (!app.Start(paths.DialogDir() + "Velkaron.exe")) return false;
    app.SetText(IDC_SOURCE_PATH, paths.source);
    app.SetText(IDC_PACKET_PATH, paths.DialogPacket());
    HWND hStatus = ::GetDlgItem(app.Dialog(), IDC_STATUS);
    const std::string idle = WindowText(hStatus);
    WaitUntil([&] { return WindowText(hStatus) != idle; }, 5000);  // the first tick has come

    std::atomic<bool> stop{false};
    const double start = Now();
    app.Click(IDC_PACK);
    std::thread answerProbe([&] {
        while (!stop) {
            double sent = Now();
            DWORD_PTR result = 0;
            ::SendMessageTimeoutA(app.Dialog(), WM_NULL, 0, 0, SMTO_NORMAL, kJobTimeoutMs, &result);
            run.answers.push_back(Now() - sent);
            ::Sleep(20);
        }
    });
    std::thread statusProbe([&] {
        std::string last = WindowText(hStatus);
        while (!stop) {
            std::string text = WindowText(hStatus);  // empty when the window does not answer
            if (!text.empty() && text != last) {
                run.statusChanges.push_back(Now() - start);
                last = text;
            }
            ::Sleep(50);
        }
    });
    const std::string settings = paths.DialogDir() + "velkaron.ini";
    while (!Exists(settings) && Now() - start < kJobTimeoutMs / 1000.0) ::Sleep(2);
    run.seconds = Now() - start;
    stop = true;
    answerProbe.join();
    statusProbe.join();
    run.flush = Flush(paths.DialogOutputs());

    app.WaitForLogEnd(30000);
    ::Sleep(1500);  // the next tick shows the final counts
    // "文件: %d | 文件夹 %d"
    const std::string status = app.Text(IDC_STATUS);
    if (status.find(':') != std::string::npos) {
        run.files = std::atoi(status.c_str() + status.find(':') + 1);
        run.folders = std::atoi(status.c_str() + status.rfind(' ') + 1);
    }
    app.Click(IDCANCEL);
    return Exists(settings) && app.WaitForExit(30000);
}

// Runs `command` with its standard streams on NUL: its seconds from start to exit;
// false when it cannot start or exits with a status other than 0.
bool RunProgram(std::string command, double& seconds) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE hNull = ::CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                 OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = hNull;
    PROCESS_INFORMATION pi = {};
    const double start = Now();
    BOOL bStarted = ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    DWORD nExit = 1;
    if (bStarted) {
        ::WaitForSingleObject(pi.hProcess, kJobTimeoutMs);
        seconds = Now() - start;
        ::GetExitCodeProcess(pi.hProcess, &nExit);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }
    ::CloseHandle(hNull);
    return bStarted && nExit == 0;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// A run of the dialog, then of a command, each written to `pResults` as one JSON
// object; false when the run fails.
bool RunDialog(const Paths& paths, int round, const char* warmup, FILE* pResults) {
    const std::string load = LoadAverage();
    DialogRun run;
    if (!MeasureDialog(paths, run)) return false;
    std::fprintf(pResults,
                 "{\"tool\": \"dialog\", \"round\": %d, \"warmup\": %s, \"load\": %s, \"seconds\": %.4f, "
                 "\"flush\": %.4f, \"files\": %d, \"folders\": %d, \"answers\": %s, \"status_changes\": %s}\n",
                 round, warmup, load.c_str(), run.seconds, run.flush, run.files, run.folders,
                 JsonList(run.answers).c_str(), JsonList(run.statusChanges).c_str());
    return true;
}

bool RunCommand(const Paths& paths, const std::string& options, int round, const char* warmup, FILE* pResults) {
    Remove(paths.CliOutputs());
    const std::string load = LoadAverage();
    double seconds = 0;
    if (!RunProgram(Quoted(paths.bin + "velkaron-pack.exe") + " pack " + Quoted(paths.source) + " " +
                        Quoted(paths.CliPacket()) + " -q --work-dir " + Quoted(paths.CliWorkDir()) + " " + options,
                    seconds))
        return false;
    double flush = Flush(paths.CliOutputs());
    // The dialog's packet of this round or the last is there: both jobs must write the same bytes.
    bool same = ReadAll(paths.CliPacket()) == ReadAll(paths.DialogPacket());
    std::fprintf(pResults,
                 "{\"tool\": \"%s\", \"round\": %d, \"warmup\": %s, \"load\": %s, \"seconds\": %.4f, "
                 "\"flush\": %.4f, \"same_packet\": %s}\n",
                 options.c_str(), round, warmup, load.c_str(), seconds, flush, same ? "true" : "false");
    return true;
}

int Fail(const std::string& what) {
    std::fprintf(stderr, "velkaron-dialog-bench: %s\n", what.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8)
        return Fail(
            "usage: velkaron-dialog-bench.exe BIN SOURCE WORK RESULTS ROUNDS WARMUP IDLE-LOAD [CLI-OPTIONS]...");
    Paths paths{argv[1], argv[2], argv[3]};
    for (std::string* pDir : {&paths.bin, &paths.work}) {
        if (pDir->back() != '\\') *pDir += '\\';
    }
    const int rounds = std::atoi(argv[5]);
    const int warmup = std::atoi(argv[6]);
    const double idleLoad = std::atof(argv[7]);
    const std::vector<std::string> commands(argv + 8, argv + argc);

    ::CreateDirectoryA(paths.DialogDir().c_str(), nullptr);
    ::CreateDirectoryA(paths.CliWorkDir().c_str(), nullptr);
    if (!CVelkaronProcess::Install(paths.bin + "Velkaron.exe", paths.DialogDir()))
        return Fail("cannot copy Velkaron.exe");
    std::unique_ptr<FILE, int (*)(FILE*)> results(std::fopen(argv[4], "w"), &std::fclose);
    if (results == nullptr) return Fail("cannot write the results file");
    FILE* pResults = results.get();

    for (int round = 0; round < warmup + rounds; ++round) {
        const char* kind = round < warmup ? "true" : "false";
        if (idleLoad > 0) WaitForLoadBelow(idleLoad);
        // The dialog first in even rounds, last in odd ones, so that neither always
        // follows the other.
        if (round % 2 == 0 && !RunDialog(paths, round, kind, pResults)) return Fail("the dialog's run failed");
        for (const std::string& options : commands) {
            if (!RunCommand(paths, options, round, kind, pResults))
                return Fail("velkaron-pack.exe " + options + " failed");
        }
        if (round % 2 == 1 && !RunDialog(paths, round, kind, pResults)) return Fail("the dialog's run failed");
        // What starting and ending a program costs under Wine, a part of each command's time.
        double startup = 0;
        if (!RunProgram(Quoted(paths.bin + "velkaron-pack.exe") + " --help", startup))
            return Fail("velkaron-pack.exe --help failed");
        std::fprintf(pResults, "{\"tool\": \"start-up\", \"round\": %d, \"warmup\": %s, \"seconds\": %.4f}\n", round,
                     kind, startup);
        std::fflush(pResults);
        std::fprintf(stderr, "velkaron-dialog-bench: round %d of %d done\n", round + 1, warmup + rounds);
    }
    Remove(paths.DialogOutputs());
    Remove(paths.CliOutputs());
    return 0;
}
