#include "registry/RegKey.h"

#include "registry/RegistryAccess.h"

namespace registry {
namespace {

constexpr DWORD kDwordSize = 4;

void Observe(HKEY root, const std::wstring& path, REGSAM access) {
    if (const OpenObserver observe = KeyOpenObserver().load()) observe(root, path, access);
}

}  // namespace

LONG Key::Open(HKEY root, const std::wstring& path, REGSAM access) {
    Observe(root, path, access);
    return RegOpenKeyExW(root, path.c_str(), 0, access, key_.Put());
}

LONG Key::Create(HKEY root, const std::wstring& path, REGSAM access) {
    Observe(root, path, access);
    // The handle is taken only on success: a failed call leaves its output undefined.
    HKEY made = nullptr;
    const LONG status = RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                                        &made, nullptr);
    key_.Reset(status == ERROR_SUCCESS ? made : nullptr);
    return status;
}

// Four bytes at most are read: a longer value is refused by the query itself,
// a shorter one would leave bytes of the number unread.
LONG Key::ReadDword(const std::wstring& name, DWORD* value) const {
    if (!key_) return ERROR_INVALID_HANDLE;
    if (!value) return ERROR_BAD_ARGUMENTS;
    BYTE bytes[kDwordSize] = {};
    DWORD size = kDwordSize;
    DWORD type = REG_NONE;
    const LONG status = RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, bytes, &size);
    if (status == ERROR_MORE_DATA) return ERROR_INVALID_DATA;
    if (status != ERROR_SUCCESS) return status;
    if (type != REG_DWORD || size != kDwordSize) return ERROR_INVALID_DATA;
    *value = static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 | static_cast<DWORD>(bytes[2]) << 16 |
             static_cast<DWORD>(bytes[3]) << 24;
    return ERROR_SUCCESS;
}

LONG Key::WriteDword(const std::wstring& name, DWORD value) const {
    const BYTE bytes[kDwordSize] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                    static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    return WriteValue(name, RegValueBlob(REG_DWORD, bytes, kDwordSize));
}

LONG Key::ReadValue(const std::wstring& name, RegValueBlob* destination) const {
    return key_ ? RegistryAccess().ReadWholeValue(key_.Get(), name, destination) : ERROR_INVALID_HANDLE;
}

LONG Key::WriteValue(const std::wstring& name, const RegValueBlob& value) const {
    return key_ ? RegistryAccess().WriteValue(key_.Get(), name, &value) : ERROR_INVALID_HANDLE;
}

LONG Key::DeleteValue(const std::wstring& name) const {
    return key_ ? RegistryAccess().DeleteValue(key_.Get(), name) : ERROR_INVALID_HANDLE;
}

}  // namespace registry
