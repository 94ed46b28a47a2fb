// On Windows names come from the listing in the ANSI code page already; there is
// nothing to convert.
#include "platform/NameEncoding.h"

bool NameConversionAvailable() { return false; }

CNameEncoder::~CNameEncoder() = default;

bool CNameEncoder::Open(NameDirection) { return false; }

bool CNameEncoder::Convert(std::string&) { return false; }
