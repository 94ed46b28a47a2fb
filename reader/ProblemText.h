// The reader library's English sentences for the rules a packet breaks. English and
// ASCII alone, stored bytes escaped, so that a message reads the same in a caller's
// program whatever its encoding (GBK, UTF-8, or a language's own strings).
#pragma once

#include <string>

#include "reader/PacketIndex.h"

namespace velkaron_reader {

// Why the packet broke `problem`'s rule, with its index line, e.g. "index line 3
// (#F,70,1,a): file offset 70 leaves a gap after the previous file's data, expected 64".
std::string DescribeProblemInEnglish(const PacketProblem& problem);
// `bytes` with every byte outside printable ASCII written as "\xNN".
std::string EscapedBytes(const std::string& bytes);

}  // namespace velkaron_reader
