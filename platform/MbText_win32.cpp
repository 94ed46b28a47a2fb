// Multibyte code page of the Windows C runtime.
#include "platform/MbText.h"

#include <mbctype.h>

void InitMultibyte() { _setmbcp(_MB_CP_ANSI); }

bool IsLeadByte(unsigned char c) { return _ismbblead(c) != 0; }

// DEL follows no lead byte in any double-byte code page, though some runtimes' tables
// count it among the trail bytes.
bool IsTrailByte(unsigned char c) { return c != 0x7F && _ismbbtrail(c) != 0; }
