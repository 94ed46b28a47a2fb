// Running velkaron-pack as a separate process, the hand-made packets beside the test
// programs, and random source trees with odd names to pack, extract and compare.
#pragma once

#ifndef _WIN32
#include <sys/types.h>
#endif

#include <map>
#include <string>
#include <vector>

#include "tests/support/TestFs.h"

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// The velkaron-pack beside the test programs.
std::string VelkaronPackPath();
// Runs `program` with `args`; its standard output and error go through files in `dir`.
CliRun RunProgram(const std::string& program, const TempDir& dir, const std::vector<std::string>& args);
// Copies velkaron-pack into `folder` (made when missing), alone there as in a download
// or an installation; the copy's path.
std::string CopyOfProgramIn(const std::string& folder);
// Runs velkaron-pack (beside the test program) with `args`, as RunProgram does.
CliRun RunVelkaronPack(const TempDir& dir, const std::vector<std::string>& args);

#ifndef _WIN32
// Starts `program` with `args`, standard output into the descriptor `out`, standard
// error into the file `err`; as the user `uid` when it is not -1, with at most
// `maxFiles` open descriptors when it is above 0. Its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& args, int out, const std::string& err,
                   uid_t uid = static_cast<uid_t>(-1), int maxFiles = 0);
// Waits for the process `pid` to end; its wait status.
int WaitForProgram(pid_t pid);
// Runs velkaron-pack, copied into `dir`/prog (readable by all), as the user nobody with
// `args`, as RunProgram does; its standard streams through files in `dir`.
CliRun RunAsNobody(const TempDir& dir, const std::vector<std::string>& args);
#endif

// Path of the hand-made packet `name` that the build copies beside the test programs.
std::string FixturePacket(const std::string& name);

// Fills `root` (which must exist) with a reproducible tree for `seed`: nested folders,
// empty folders and files, random contents of up to a few hundred KiB, and names with
// spaces, commas, "#F," and double-byte characters in the local encoding.
void MakeRandomTree(const std::string& root, unsigned seed);

// One line of a packet MakePacket builds: a folder, or a file with its content.
struct PacketItem {
    std::string path;  // as stored
    bool folder;
    std::string content;
};
// A packet of `items` in that order, its offsets and header made to fit.
std::string MakePacket(const std::vector<PacketItem>& items);

// The index lines of `bytes` (a valid packet's index) in order, without CR LF.
std::vector<std::string> SplitIndex(const std::string& index);
