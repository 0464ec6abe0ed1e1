#pragma once
#include <windows.h>

#include <optional>
#include <string>

#include "registry/RegValueBlob.h"

// The thin layer over the registry calls. Every operation returns 0, the
// registry's own status, or ERROR_BAD_ARGUMENTS (160) when an argument it needs
// is missing.
class RegistryAccess {
public:
    // The largest value ReadValue takes: a command of 511 characters and its NUL.
    static constexpr DWORD kReadLimit = 512;

    // Opens an existing key with KEY_ALL_ACCESS; never creates one.
    LONG OpenKey(HKEY parent, const char* path, HKEY* opened) const;
    // Reads a value of up to kReadLimit bytes; a larger one gives ERROR_MORE_DATA.
    // On failure the destination keeps what it held.
    LONG ReadValue(HKEY key, const char* name, RegValueBlob* destination) const;
    // Reads a value whole, whatever its size; used where a value is copied.
    LONG ReadWholeValue(HKEY key, const char* name, RegValueBlob* destination) const;
    LONG WriteValue(HKEY key, const char* name, const RegValueBlob* blob) const;
    LONG DeleteValue(HKEY key, const char* name) const;

    // The same by a name in UTF-16, on the bytes as the registry keeps them:
    // no code page comes between, so any name and any data (REG_SZ of odd
    // length, text no code page holds) are copied and compared exactly.
    LONG ReadWholeValue(HKEY key, const std::wstring& name, RegValueBlob* destination) const;
    LONG WriteValue(HKEY key, const std::wstring& name, const RegValueBlob* blob) const;
    LONG DeleteValue(HKEY key, const std::wstring& name) const;
};

// The command a Run value holds: the UTF-16 text of a REG_SZ or REG_EXPAND_SZ
// value up to its first NUL, in UTF-8. None for any other type (Windows starts
// only these) and for text that cannot be converted exactly.
std::optional<std::string> CommandText(const RegValueBlob& value);
