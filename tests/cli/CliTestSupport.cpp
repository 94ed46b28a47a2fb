// Process runs, fixture paths and random trees for the command-line tests.
#include "tests/cli/CliTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "packer/PacketFormat.h"
#include "platform/MbText.h"
#include "settings/ProgramDir.h"

std::string VelkaronPackPath() {
    std::string program;
    GetProgramDir(program);
#ifdef _WIN32
    return program + "velkaron-pack.exe";
#else
    return program + "velkaron-pack";
#endif
}

std::string CopyOfProgramIn(const std::string& folder) {
    const std::string original = VelkaronPackPath();
    const std::string program = WithOneTrailingChar(folder, kPathSep) + original.substr(FindLastChar(original, kPathSep) + 1);
    MakeDirs(folder);
#ifdef _WIN32
    // Read with sharing: a test that starts the program meanwhile must not find it held.
    ::CopyFileA(original.c_str(), program.c_str(), FALSE);
#else
    WriteFileBytes(program, ReadFileBytes(original));
    ::chmod(program.c_str(), 0755);
#endif
    return program;
}

CliRun RunVelkaronPack(const TempDir& dir, const std::vector<std::string>& args) {
    return RunProgram(VelkaronPackPath(), dir, args);
}

#ifdef _WIN32
namespace {

// A file for a child's standard stream: created, inherited, shared with its readers.
HANDLE InheritedFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return ::CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Starts the command line directly, not through cmd, whose search for the program
// Wine now and then fails under load; its exit status, or -1 when it cannot start.
int RunCommandLine(std::string command, const TempDir& dir) {
    HANDLE in = InheritedFile("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = InheritedFile(dir / "cli-stdout.txt", GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = InheritedFile(dir / "cli-stderr.txt", GENERIC_WRITE, CREATE_ALWAYS);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    DWORD status = static_cast<DWORD>(-1);
    if (::CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &status);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    for (HANDLE h : {in, out, err}) ::CloseHandle(h);
    return static_cast<int>(status);
}

}  // namespace
#endif

CliRun RunProgram(const std::string& program, const TempDir& dir, const std::vector<std::string>& args) {
    std::string command = "\"" + program + "\"";
    for (std::string arg : args) {
#ifdef _WIN32
        // Backslashes before a closing quote must be doubled, or they escape it.
        std::size_t end = arg.size();
        while (end > 0 && arg[end - 1] == '\\') --end;
        arg += arg.substr(end);
#endif
        command += " \"" + arg + "\"";
    }
    CliRun run;
#ifdef _WIN32
    run.status = RunCommandLine(command, dir);
#else
    command += " > \"" + (dir / "cli-stdout.txt") + "\" 2> \"" + (dir / "cli-stderr.txt") + "\"";
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    run.out = ReadFileBytes(dir / "cli-stdout.txt");
    run.err = ReadFileBytes(dir / "cli-stderr.txt");
    return run;
}

#ifndef _WIN32
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args, int out, const std::string& err,
                   uid_t uid, int maxFiles) {
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    int errFd = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    ::dup2(out, 1);
    ::dup2(errFd, 2);
    if (uid != static_cast<uid_t>(-1) && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(120);
    struct rlimit files = {static_cast<rlim_t>(maxFiles), static_cast<rlim_t>(maxFiles)};
    if (maxFiles > 0 && ::setrlimit(RLIMIT_NOFILE, &files) != 0) ::_exit(122);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(121);
}

int WaitForProgram(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

CliRun RunAsNobody(const TempDir& dir, const std::vector<std::string>& args) {
    const std::string program = CopyOfProgramIn(dir / "prog");
    ::chmod((dir / "prog").c_str(), 0755);
    const int out = ::open((dir / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    CliRun run;
    run.status = WaitForProgram(StartProgram(program, args, out, dir / "err.txt", 65534));
    ::close(out);
    run.status = WIFEXITED(run.status) ? WEXITSTATUS(run.status) : -1;
    run.out = ReadFileBytes(dir / "out.txt");
    run.err = ReadFileBytes(dir / "err.txt");
    return run;
}
#endif

std::string FixturePacket(const std::string& name) {
    std::string dir;
    GetProgramDir(dir);
    return dir + NativePath("fixtures/packets/" + name);
}

namespace {

// Names a Windows file system holds as well: no trailing dot or space, and a counter
// keeps them apart even where case does not count.
const char* const kNames[] = {
    "plain.txt", "with space.txt", "comma,name.txt", "#F,64,3,fake.txt", "#D,sub", " leading", "semi;colon",
    "中文名.txt", "文件夹", "誠", "表格 2,3", "UPPER.TXT", "dots.in.name", "-dash", "x",
};

void Fill(std::mt19937& rng, const std::string& folder, int depth, int& counter) {
    std::uniform_int_distribution<int> pick(0, sizeof kNames / sizeof kNames[0] - 1);
    int files = static_cast<int>(rng() % 6);
    int folders = depth < 3 ? static_cast<int>(rng() % 4) : 0;
    for (int i = 0; i < files; ++i) {
        std::string name = std::to_string(counter++) + kNames[pick(rng)];
        std::size_t size = 0;
        switch (rng() % 8) {
            case 0: size = 0; break;
            case 1: size = 100 * 1024 + rng() % (200 * 1024); break;
            default: size = rng() % 5000; break;
        }
        std::string content(size, '\0');
        for (char& c : content) c = static_cast<char>(rng());
        WriteFileBytes(folder + kPathSep + name, content);
    }
    for (int i = 0; i < folders; ++i) {
        std::string sub = folder + kPathSep + std::to_string(counter++) + kNames[pick(rng)];
        MakeDir(sub);
        Fill(rng, sub, depth + 1, counter);
    }
}

}  // namespace

void MakeRandomTree(const std::string& root, unsigned seed) {
    std::mt19937 rng(seed);
    int counter = 0;
    Fill(rng, root, 0, counter);
    MakeDir(root + kPathSep + "empty folder");
    WriteFileBytes(root + kPathSep + "empty file", "");
}

std::vector<std::string> SplitIndex(const std::string& index) {
    std::vector<std::string> lines;
    for (std::size_t pos = 0; pos < index.size();) {
        std::size_t end = index.find("\r\n", pos);
        if (end == std::string::npos) end = index.size();
        lines.push_back(index.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::string MakePacket(const std::vector<PacketItem>& items) {
    std::string data, index;
    for (const PacketItem& item : items) {
        const int offset = kPacketHeaderSize + static_cast<int>(data.size());
        index += item.folder ? FormatFolderLine(offset, item.path)
                             : FormatFileLine(offset, static_cast<int>(item.content.size()), item.path);
        data += item.content;
    }
    return FormatPacketHeader(kPacketHeaderSize + static_cast<int>(data.size()), static_cast<int>(index.size())) +
           data + index;
}
