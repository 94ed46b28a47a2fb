// The pack command of the command-line front end: one packing job, headless.
#pragma once

#include <string>

#include "cli/CliOptions.h"

// Normalises `source` as the dialog does (every trailing separator removed, one added).
std::string NormaliseSourceFolder(const std::string& source);

// Packs `source` into `packet` with `options` (sorted, gbk, workDir, bufferSize,
// quiet): queued texts to standard output as the job runs (without the index lines
// when quiet, and then a progress line on standard error if it is a terminal),
// message-box texts to standard error, then the counts line, then every skipped
// entry on standard error. kExitOk, kExitFailed when the job failed, kExitSkipped
// when it succeeded without some entries.
int RunPack(const std::string& source, const std::string& packet, const CliOptions& options);
