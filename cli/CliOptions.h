// What every velkaron-pack command shares: exit statuses, the copy buffer's default
// and the parsing of options.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/NameEncoding.h"

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2, kExitSkipped = 3 };

// The command line's copy buffer unless --buffer-size says otherwise: the fastest
// size over all data sets of bench/run.sh on the project's 2-core machine.
constexpr std::size_t kCliBufferSize = 524288;
constexpr std::size_t kCliBufferSizeMax = 256u * 1024 * 1024;

// The options a command accepts.
enum CliOption : unsigned {
    kOptSorted = 1u << 0,
    kOptEncoding = 1u << 1,
    kOptWorkDir = 1u << 2,
    kOptBufferSize = 1u << 3,
    kOptQuiet = 1u << 4,
    kOptRaw = 1u << 5,
    kOptForce = 1u << 6,
    kOptTwoPass = 1u << 7,
    kOptSync = 1u << 8,
    kOptJobs = 1u << 9,
};

constexpr int kCliJobsMax = 64;

struct CliOptions {
    std::vector<std::string> operands;
    bool sorted = false;
    bool gbk = false;  // --name-encoding gbk: stored names are GBK, local names are converted
    std::string workDir;
    std::size_t bufferSize = kCliBufferSize;
    bool quiet = false;
    bool raw = false;
    bool force = false;
    bool twoPass = false;  // the dialog's job: work files, then the packet front to back
    bool sync = false;     // the packet on the disk before pack reports success
    int jobs = 0;          // threads that read the files; 0: from the number of cores
    bool help = false;
};

// Parses `args` for `command` (its name, for messages), accepting the options in
// `allowed` anywhere among the operands; "--" ends the options. False with a message
// (without line end) in `error` for an unknown, misplaced or malformed option.
bool ParseCliOptions(const std::vector<std::string>& args, const char* command, unsigned allowed,
                     CliOptions& options, std::string& error);
// Opens `encoder` in `direction` when the options say names are GBK; true without
// opening it otherwise. False, with a message on standard error, when it cannot.
bool OpenEncoder(CNameEncoder& encoder, NameDirection direction, const CliOptions& options);
