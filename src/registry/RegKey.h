#pragma once
#include <windows.h>

#include <atomic>
#include <string>

#include "registry/RegValueBlob.h"
#include "win/Scoped.h"

namespace registry {

// Told of every key an operation opens or makes, before it does: lets a test
// prove which keys a process asks to change (Wine lets every process write every key).
using OpenObserver = void (*)(HKEY root, const std::wstring& path, REGSAM access);
inline std::atomic<OpenObserver>& KeyOpenObserver() {
    static std::atomic<OpenObserver> observer{nullptr};
    return observer;
}

// What an operation asks of a key: no more than it does with it, so that a
// standard user can still read what he may not change.
constexpr REGSAM kReadAccess = KEY_READ;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_SET_VALUE;  // writes and deletes values, compares first

// A registry key opened by its owner and closed with it, by its UTF-16 path,
// and its values by their UTF-16 names. Every operation returns the registry's
// status; on a key that is not open, ERROR_INVALID_HANDLE.
class Key {
public:
    // Opens an existing key; never creates one. On failure the object holds no key.
    LONG Open(HKEY root, const std::wstring& path, REGSAM access);
    // Opens the key, made (empty, non-volatile) first when it is missing.
    LONG Create(HKEY root, const std::wstring& path, REGSAM access);

    // A number: a REG_DWORD of exactly four bytes. Any other value of that name
    // gives ERROR_INVALID_DATA, a missing one ERROR_FILE_NOT_FOUND; on failure
    // *value keeps what it held.
    LONG ReadDword(const std::wstring& name, DWORD* value) const;
    LONG WriteDword(const std::wstring& name, DWORD value) const;
    // The whole value, its type and every byte, however large the registry says
    // it is; on failure *destination keeps what it held.
    LONG ReadValue(const std::wstring& name, RegValueBlob* destination) const;
    LONG WriteValue(const std::wstring& name, const RegValueBlob& value) const;
    LONG DeleteValue(const std::wstring& name) const;

    HKEY Get() const { return key_.Get(); }
    explicit operator bool() const { return static_cast<bool>(key_); }

private:
    win::UniqueKey key_;
};

}  // namespace registry
