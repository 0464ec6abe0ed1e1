#pragma once
#include <windows.h>

#include <atomic>

#include "win/Scoped.h"

namespace registry {

// Told of every key an operation opens, before it is opened: lets a test prove
// which keys a process asks to change (Wine lets every process write every key).
using OpenObserver = void (*)(HKEY root, const char* path, REGSAM access);
inline std::atomic<OpenObserver>& KeyOpenObserver() {
    static std::atomic<OpenObserver> observer{nullptr};
    return observer;
}

// What an operation asks of a key: no more than it does with it, so that a
// standard user can still read what he may not change.
constexpr REGSAM kReadAccess = KEY_READ;
constexpr REGSAM kWriteAccess = KEY_READ | KEY_SET_VALUE;  // writes and deletes values, compares first

// An existing registry key opened by its owner and closed with it. Opening
// never creates a key.
class Key {
public:
    // The registry's status; on failure the object holds no key.
    LONG Open(HKEY root, const char* path, REGSAM access) {
        if (const OpenObserver observe = KeyOpenObserver().load()) observe(root, path, access);
        return RegOpenKeyExA(root, path, 0, access, key_.Put());
    }
    HKEY Get() const { return key_.Get(); }
    explicit operator bool() const { return static_cast<bool>(key_); }

private:
    win::UniqueKey key_;
};

}  // namespace registry
