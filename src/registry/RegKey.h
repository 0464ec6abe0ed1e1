#pragma once
#include <windows.h>

#include <atomic>
#include <string>
#include <utility>
#include <vector>

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

// The operations on an open registry key, by its values' UTF-16 names and on
// their bytes as the registry keeps them: no code page comes between, so any
// name and any data (REG_SZ of odd length, text no code page holds) are read,
// copied and compared exactly. Nothing is printed.
//
// One rule for every operation: it returns the registry's own status, and a
// failed one changes nothing it was handed to fill. On a key that is not open,
// ERROR_INVALID_HANDLE; without the output it fills, ERROR_BAD_ARGUMENTS; a
// value of the wrong type or size for a typed read, ERROR_INVALID_DATA.
//
// A KeyRef works on a handle another owns and never closes it (the copying
// code is handed its keys); a Key adds the owning of its own.
class KeyRef {
public:
    KeyRef() = default;
    explicit KeyRef(HKEY key) : key_(key) {}

    // A value of exactly this type and size into `bytes`; a missing one gives ERROR_FILE_NOT_FOUND.
    // Nothing past `size` bytes is read.
    LONG ReadExact(const std::wstring& name, DWORD type, BYTE* bytes, DWORD size) const;
    // A number: a REG_DWORD of exactly four bytes.
    LONG ReadDword(const std::wstring& name, DWORD* value) const;
    LONG WriteDword(const std::wstring& name, DWORD value) const;
    // The whole value, its type and every byte, however large the registry says it is.
    LONG ReadValue(const std::wstring& name, RegValueBlob* destination) const;
    LONG WriteValue(const std::wstring& name, const RegValueBlob& value) const;
    LONG DeleteValue(const std::wstring& name) const;
    // ERROR_SUCCESS when the key has a value of that name, whatever it holds.
    LONG FindValue(const std::wstring& name) const;
    // The names of the key's values, or of its subkeys, as many as it held when
    // asked, in the registry's order; a name that cannot be read meanwhile is left out.
    LONG ValueNames(std::vector<std::wstring>* names) const;
    LONG SubkeyNames(std::vector<std::wstring>* names) const;

    HKEY Get() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }

protected:
    HKEY key_ = nullptr;
};

// What OpenOwnNames says of a path that passes a registry link.
constexpr LONG kLinkOnPath = ERROR_CANT_RESOLVE_FILENAME;

// A registry key opened by its owner, by its UTF-16 path, and closed with it.
class Key : public KeyRef {
public:
    Key() = default;
    Key(Key&& other) noexcept : KeyRef(other.key_), owned_(std::move(other.owned_)) { other.key_ = nullptr; }
    Key& operator=(Key&& other) noexcept {
        owned_ = std::move(other.owned_);
        key_ = std::exchange(other.key_, nullptr);
        return *this;
    }

    // Opens an existing key; never creates one. On failure the object holds no key.
    LONG Open(HKEY root, const std::wstring& path, REGSAM access);
    // Opens the key, made (empty, non-volatile) first when it is missing.
    LONG Create(HKEY root, const std::wstring& path, REGSAM access);
    // Opens an existing key by its own names, never through a registry link:
    // a key of the path that is a link refuses the open (kLinkOnPath). For the
    // system in another account's hive, where that account may have made links.
    LONG OpenOwnNames(HKEY root, const std::wstring& path, REGSAM access);

private:
    void Hold(HKEY key);

    win::UniqueKey owned_;
};

// An account's registry file loaded under HKEY_USERS as `name`, and unloaded
// (once no key of it is open). Both need the backup and restore privileges
// enabled. The registry's own status.
LONG LoadHive(const std::wstring& name, const std::wstring& file);
LONG UnloadHive(const std::wstring& name);

}  // namespace registry
