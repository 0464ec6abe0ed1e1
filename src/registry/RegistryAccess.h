#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "registry/RegValueBlob.h"

// The value operations on a key that another owns (the copy-exact code is
// handed its keys; registry::Key uses these on its own). By a name in UTF-16,
// on the bytes as the registry keeps them: no code page comes between, so any
// name and any data (REG_SZ of odd length, text no code page holds) are copied
// and compared exactly. Every operation returns 0, the registry's own status,
// or ERROR_BAD_ARGUMENTS (160) when an argument it needs is missing.
class RegistryAccess {
public:
    // Reads a value whole, whatever its size. On failure the destination keeps what it held.
    LONG ReadWholeValue(HKEY key, const std::wstring& name, RegValueBlob* destination) const;
    LONG WriteValue(HKEY key, const std::wstring& name, const RegValueBlob* blob) const;
    LONG DeleteValue(HKEY key, const std::wstring& name) const;
};

// The command a Run value holds: the UTF-16 text of a REG_SZ or REG_EXPAND_SZ
// value up to its first NUL, in UTF-8. None for any other type (Windows starts
// only these) and for text that cannot be converted exactly.
std::optional<std::string> CommandText(const RegValueBlob& value);
