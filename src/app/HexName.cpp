#include "app/HexName.h"

#include <cwchar>

namespace machinekeys {
namespace {

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

}  // namespace

std::wstring NameToHex(const std::wstring& name) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (wchar_t unit : name)
        for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(digits[(static_cast<unsigned>(unit) >> shift) & 0xF]);
    return hex;
}

std::optional<std::wstring> NameFromHex(const wchar_t* hex) {
    const std::size_t length = std::wcslen(hex);
    if (length == 0 || length % 4 != 0) return std::nullopt;
    std::wstring name;
    for (std::size_t i = 0; i < length; i += 4) {
        unsigned unit = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const int digit = HexDigit(hex[i + j]);
            if (digit < 0) return std::nullopt;
            unit = unit << 4 | static_cast<unsigned>(digit);
        }
        if (unit == 0) return std::nullopt;
        name.push_back(static_cast<wchar_t>(unit));
    }
    return name;
}

}  // namespace machinekeys
