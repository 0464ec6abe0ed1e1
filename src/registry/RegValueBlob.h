#pragma once
#include <windows.h>

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
