// Text of the browser's Unicode window: UTF-8 (the core's text) to UTF-16 and back,
// and the numbers and sizes it shows.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// `utf8` as UTF-16; a byte that is not UTF-8 becomes U+FFFD.
std::wstring Wide(const std::string& utf8);
// `wide` as UTF-8; a lone surrogate becomes U+FFFD.
std::string Utf8(const std::wstring& wide);
// Text in the code page the program was compiled for (GBK literals of shared code) as UTF-16.
std::wstring WideFromGbk(const std::string& gbk);
// 12345678 as "12,345,678".
std::wstring GroupedNumber(std::int64_t number);
// Bytes as the list shows them: "0 B", "512 B", "1.5 KB", "3.2 MB", "1.1 GB".
std::wstring ShortSize(std::int64_t bytes);
// The text of a window, any length.
std::wstring WindowTextOf(HWND hWnd);
