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
// Bytes that compare (as std::string) in Windows' order of names, case ignored.
std::string NameSortKey(const std::wstring& name);
// A path's last name, and its folder part ending with the separator ("" when none).
std::wstring FileNameOf(const std::wstring& path);
std::wstring FolderOf(const std::wstring& path);
// `path` as a full path (the current folder put before a relative one); as given when
// the system cannot tell.
std::wstring FullPath(const std::wstring& path);
// The text of a window, any length.
std::wstring WindowTextOf(HWND hWnd);
