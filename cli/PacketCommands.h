// The commands that read a packet back: list, verify, extract and cat. Each reads
// the packet as a stream, memory bounded whatever its size, and reports the first
// broken rule with its index line on standard error.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "cli/CliOptions.h"

// Prints the index as a table (kind, offset, length, path), names converted from GBK
// when options.gbk; with options.raw the lines as stored. kExitOk, or kExitFailed when
// the packet is invalid or a name cannot be shown converted.
int RunList(const std::string& packet, const CliOptions& options);

// Checks the packet's header, sizes and every rule of its index; with a non-empty
// `source` also that every entry and file content matches that folder and that the
// folder holds nothing more but the work files of a pack with options.workDir.
// kExitOk when valid (and matching), else kExitFailed.
int RunVerify(const std::string& packet, const std::string& source, const CliOptions& options);

// Recreates the packet's tree below `dir`: checks the whole index and every target
// name first, writing nothing when any is refused; existing files are replaced only
// with options.force. Writes only inside the folders it has made or checked, stopping
// with a message when one is changed meanwhile. With `paths` (named as for RunCat)
// only those entries, everything below the folders among them and the folders above
// them; a path the packet lacks is refused by name. kExitOk, or kExitFailed with a message.
int RunExtract(const std::string& packet, const std::string& dir, const CliOptions& options,
               const std::vector<std::string>& paths = {});

// Writes the contents of the files at `paths` to standard output byte for byte, in
// that order. Paths are in the local encoding (converted to GBK with options.gbk),
// "/" or "\" between names, trailing separators ignored. Every path is looked up
// before anything is written: kExitFailed, naming it, for one the packet lacks or a
// folder; also when standard output cannot take the bytes.
int RunCat(const std::string& packet, const std::vector<std::string>& paths, const CliOptions& options);

// Called by extract after each file it has written, with the file's stored path: for
// tests that change the tree under a running extract. Empty: nothing is called.
using ExtractHook = std::function<void(const std::string& stored)>;
void SetExtractHook(ExtractHook hook);
