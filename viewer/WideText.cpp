// Conversions and number formats of the browser's window texts.
#include "viewer/WideText.h"

#include <cstdio>
#include <vector>

namespace {

std::wstring ToWide(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}

}  // namespace

std::wstring Wide(const std::string& utf8) { return ToWide(CP_UTF8, utf8); }

std::wstring WideFromGbk(const std::string& gbk) { return ToWide(936, gbk); }

std::string Utf8(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                        nullptr);
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    }
    return text;
}

std::wstring GroupedNumber(std::int64_t number) {
    std::wstring digits = std::to_wstring(number < 0 ? -number : number);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), L",");
    return number < 0 ? L"-" + digits : digits;
}

std::wstring ShortSize(std::int64_t bytes) {
    static const wchar_t* const kUnits[] = {L"KB", L"MB", L"GB", L"TB"};
    if (bytes < 1024) return std::to_wstring(bytes) + L" B";
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 3) {
        value /= 1024.0;
        ++unit;
    }
    wchar_t text[32];
    std::swprintf(text, 32, value < 10.0 ? L"%.1f %ls" : L"%.0f %ls", value, kUnits[unit]);
    return text;
}

std::wstring WindowTextOf(HWND hWnd) {
    std::vector<wchar_t> buffer(static_cast<std::size_t>(::GetWindowTextLengthW(hWnd)) + 1, L'\0');
    const int n = ::GetWindowTextW(hWnd, buffer.data(), static_cast<int>(buffer.size()));
    return std::wstring(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string NameSortKey(const std::wstring& name) {
    const int n = ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name.c_str(),
                                 static_cast<int>(name.size()), nullptr, 0);
    std::string key(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0) {
        ::LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_SORTKEY | NORM_IGNORECASE, name.c_str(),
                       static_cast<int>(name.size()), reinterpret_cast<LPWSTR>(&key[0]), n);
    }
    return key;
}

std::wstring FileNameOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring FullPath(const std::wstring& path) {
    std::vector<wchar_t> buffer(32768);
    const DWORD n = ::GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    return n > 0 && n < buffer.size() ? std::wstring(buffer.data(), n) : path;
}
