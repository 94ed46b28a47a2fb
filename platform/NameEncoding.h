// Converting file names between the local encoding and GBK, the code page of the
// Simplified Chinese Windows systems that read packets. Off Windows only: on
// Windows the names already are in the ANSI code page.
#pragma once

#include <string>

enum class NameDirection { LocalToGbk, GbkToLocal };

// True where names can be converted (off Windows); false on Windows.
bool NameConversionAvailable();

class CNameEncoder {
public:
    CNameEncoder() = default;
    ~CNameEncoder();
    CNameEncoder(const CNameEncoder&) = delete;
    CNameEncoder& operator=(const CNameEncoder&) = delete;

    // Prepares conversions in `direction`. The local encoding is the locale's
    // (LC_CTYPE from the environment; the plain C locale counts as UTF-8). False when
    // the system cannot convert between the two, and always on Windows.
    bool Open(NameDirection direction);
    // Converts `name` in place; false, leaving it unchanged, when it holds bytes that
    // are not valid in its encoding or a character the other encoding lacks.
    bool Convert(std::string& name);

private:
    void* m_handle = nullptr;
};
