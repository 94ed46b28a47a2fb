// The texts of velkaron-pack and the two streams they go to. Texts are bytes in the
// process's code page (GBK on Windows, UTF-8 elsewhere); every message on standard
// error begins with "velkaron-pack: ".
#pragma once

#include <string>

#include "packer/PacketBuilder.h"
#include "reader/PacketIndex.h"

// Writes `text` to standard output as it stands.
void Out(const std::string& text);
// Writes `size` bytes to standard output and, with `flush`, flushes it; false when the
// system could not write them all (a full disk, a closed pipe).
bool OutBytes(const char* data, std::size_t size, bool flush = false);
// Flushes standard output; false when anything written to it since the start was
// not taken (a full disk, /dev/full, a closed descriptor).
bool FlushStandardOutput();
// Writes "velkaron-pack: " and `text` to standard error, standard output flushed first;
// control characters in `text` (but a final line feed) are shown as by Shown.
void Err(const std::string& text);
// Makes Out and Err append to `out` and `err` instead of the standard streams, for a
// program that runs the commands itself; nullptr sends them back.
void CaptureCliText(std::string* out, std::string* err);

// `text` as a terminal may show it: control characters (C0, DEL and C1, the latter also
// as the UTF-8 form of U+0080-U+009F) and bytes that begin no character are written as
// "\x1b", so that a stored name can neither move the cursor nor retitle the window.
std::string Shown(const std::string& text);

// Why a packet breaks `problem`'s rule, in a sentence, with the index line and
// what the rule asked for; `packet` names the file.
std::string DescribeProblem(const PacketProblem& problem, const std::string& packet);
// A short reason for a skipped entry, e.g. "无法读取".
const char* SkipReasonText(SkipReason reason);
// Bytes as "512 B", "1.5 KiB", "3.2 MiB", "1.1 GiB".
std::string FormatBytes(long long bytes);
