// The texts of velkaron-pack and the two streams they go to. Texts are bytes in the
// process's code page (GBK on Windows, UTF-8 elsewhere); every message on standard
// error begins with "velkaron-pack: ".
#pragma once

#include <string>

#include "packer/PacketBuilder.h"
#include "packer/PacketIndex.h"

// Writes `text` to standard output as it stands.
void Out(const std::string& text);
// Writes "velkaron-pack: " and `text` to standard error, standard output flushed first.
void Err(const std::string& text);

// Why a packet breaks `problem`'s rule, in a sentence, with the index line and
// what the rule asked for; `packet` names the file.
std::string DescribeProblem(const PacketProblem& problem, const std::string& packet);
// A short reason for a skipped entry, e.g. "无法读取".
const char* SkipReasonText(SkipReason reason);
// Bytes as "512 B", "1.5 KiB", "3.2 MiB", "1.1 GiB".
std::string FormatBytes(long long bytes);
