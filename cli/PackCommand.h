// The pack command of the command-line front end: one packing job, headless.
#pragma once

#include <string>

enum ExitStatus { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

// Normalises `source` as the dialog does (every trailing separator removed, one added).
std::string NormaliseSourceFolder(const std::string& source);

// Packs `source` into `packet`, queued texts to standard output as the job runs,
// message-box texts to standard error, then the counts line. kExitOk when the job
// succeeded, kExitFailed when it did not.
int RunPack(const std::string& source, const std::string& packet);
