// Off Windows names are UTF-8, where no byte of a multibyte character is ASCII.
#include "platform/MbText.h"

void InitMultibyte() {}

bool IsLeadByte(unsigned char) { return false; }

bool IsTrailByte(unsigned char) { return false; }
