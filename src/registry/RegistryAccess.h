#pragma once
#include <windows.h>

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
};
