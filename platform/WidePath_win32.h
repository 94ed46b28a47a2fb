// Paths as the wide API takes them, for the _win32 files of the platform layer: from
// UTF-8 for programs whose names need not fit the code page, or from a code page.
#pragma once

#include <windows.h>

#include <string>

// `text` (bytes of `codePage`) in UTF-16; false when it is not well formed there.
// Empty text gives an empty result.
inline bool WideOf(UINT codePage, const std::string& text, std::wstring& wide) {
    wide.clear();
    if (text.empty()) return true;
    if (text.size() > 0x7FFFFFFF) return false;
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
    if (n <= 0) return false;
    wide.assign(static_cast<std::size_t>(n), L'\0');
    return ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, &wide[0], n) == n;
}

// `utf8` in UTF-16; false when it is not well-formed UTF-8, is empty or holds a NUL.
inline bool WideOfUtf8(const std::string& utf8, std::wstring& wide) {
    return !utf8.empty() && utf8.find('\0') == std::string::npos && WideOf(CP_UTF8, utf8, wide);
}

// True when the system refuses to open the wide path for its length alone, as
// PathTooLongToOpen tells for a path in the code page.
inline bool WidePathTooLong(const std::wstring& wide) {
    if (wide.compare(0, 4, L"\\\\?\\") == 0) return false;
    const DWORD full = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    return (full > 0 ? full : static_cast<DWORD>(wide.size() + 1)) > MAX_PATH;
}
