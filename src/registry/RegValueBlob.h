#pragma once
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

// The image of one registry value: its type and its data bytes. Copies copy the
// bytes; a blob of zero bytes is valid.
struct RegValueBlob {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;

    RegValueBlob() = default;
    RegValueBlob(DWORD valueType, const void* source, DWORD byteCount)
        : type(valueType),
          bytes(static_cast<const BYTE*>(source), static_cast<const BYTE*>(source) + byteCount) {}

    DWORD count() const { return static_cast<DWORD>(bytes.size()); }
    const BYTE* data() const { return bytes.empty() ? nullptr : bytes.data(); }

    bool operator==(const RegValueBlob& other) const { return type == other.type && bytes == other.bytes; }
    bool operator!=(const RegValueBlob& other) const { return !(*this == other); }
};

// The text a value's data spells: its bytes up to the first zero byte (or all of
// them). A REG_SZ or REG_EXPAND_SZ value gives its string, a REG_MULTI_SZ its first.
inline std::string TextOf(const RegValueBlob& value) {
    const auto end = std::find(value.bytes.begin(), value.bytes.end(), BYTE{0});
    return std::string(value.bytes.begin(), end);
}
