// The pack command of the command-line front end: one packing job, headless.
#pragma once

#include <string>

#include "cli/CliOptions.h"

// Normalises `source` as the dialog does (every trailing separator removed, one added).
std::string NormaliseSourceFolder(const std::string& source);

// A folder, or a link that leads to one.
bool IsFolder(const std::string& path);
enum class FolderState { Missing, Folder, NotFolder };
// What a folder named on the command line is; its trailing separators do not count,
// so that a plain file is not taken for a missing folder.
FolderState StateOfFolder(const std::string& path);
// Why `source` cannot be packed or compared as a folder, in a phrase naming it:
// missing, no folder, or (when it is one) not listable.
std::string SourceFolderProblem(const std::string& source);

// PACKET that stands for standard output.
constexpr char kStandardOutputName[] = "-";

// Why pack's options cannot go together for `packet`, in a sentence; empty when they can.
std::string CheckPackOptions(const std::string& packet, const CliOptions& options);
// Packs `source` into `packet` with `options`: by default in one pass into a temporary
// file beside `packet` that replaces it at the end (an existing packet stays as it was
// when the job fails); with twoPass or a work folder, or for a packet that is no plain
// file, the dialog's job; for "-" the dialog's job into standard output, its work
// files in a private temporary folder. Unless the dialog's job was asked for by name
// (twoPass, a work folder), a source that cannot be listed fails the job, naming it,
// and the packet stays as it was. Queued texts go to standard output as the job
// runs (to standard error for "-"; without the index lines when quiet or for "-", and
// then a progress line on standard error if it is a terminal), message-box texts to
// standard error, then the counts line, then every skipped entry on standard error.
// kExitOk, kExitFailed when the job failed, kExitSkipped when it succeeded without
// some entries.
int RunPack(const std::string& source, const std::string& packet, const CliOptions& options);
