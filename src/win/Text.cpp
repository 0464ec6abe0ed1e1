#include "win/Text.h"

#include <windows.h>

namespace win {
namespace {

std::string ToUtf8(const std::wstring& text, DWORD flags) {
    if (text.empty()) return std::string();
    const int length = static_cast<int>(text.size());
    const int needed = WideCharToMultiByte(CP_UTF8, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string(1, '\0');  // a marker no valid result equals: the caller checks
    std::string converted(static_cast<std::size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, flags, text.data(), length, converted.data(), needed, nullptr, nullptr);
    return converted;
}

}  // namespace

std::optional<std::string> Utf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    std::string converted = ToUtf8(text, WC_ERR_INVALID_CHARS);
    if (converted == std::string(1, '\0')) return std::nullopt;
    return converted;
}

std::string Utf8ForDisplay(const std::wstring& text) { return ToUtf8(text, 0); }

std::optional<std::wstring> Wide(const std::string& text) {
    if (text.empty()) return std::wstring();
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, nullptr, 0);
    if (needed <= 0) return std::nullopt;
    std::wstring converted(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), length, converted.data(), needed);
    return converted;
}

std::wstring WidenAscii(const char* text) {
    std::wstring wide;
    for (; text && *text; ++text) wide.push_back(static_cast<unsigned char>(*text));
    return wide;
}

}  // namespace win
