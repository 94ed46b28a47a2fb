// Multibyte code page of the Windows C runtime.
#include "platform/MbText.h"

#include <mbctype.h>

void InitMultibyte() { _setmbcp(_MB_CP_ANSI); }

bool IsLeadByte(unsigned char c) { return _ismbblead(c) != 0; }
