#include "registry/ConfigStore.h"

#include "registry/AccountKeys.h"
#include "registry/RegistryAccess.h"
#include "registry/RegistryKeys.h"
#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace {

constexpr DWORD kDwordSize = 4;

// Any value of exactly four bytes is the number, whatever its registry type.
// A shorter value would leave bytes of the buffer unread, so it counts as
// missing, like a longer one (which the query itself refuses).
LONG QueryDword(HKEY key, const char* name, DWORD* value) {
    BYTE buffer[kDwordSize] = {};
    DWORD size = kDwordSize;
    const LONG status = RegQueryValueExA(key, name, nullptr, nullptr, buffer, &size);
    if (status != ERROR_SUCCESS) return status;
    if (size != kDwordSize) return ERROR_INVALID_DATA;
    *value = static_cast<DWORD>(buffer[0]) | static_cast<DWORD>(buffer[1]) << 8 |
             static_cast<DWORD>(buffer[2]) << 16 | static_cast<DWORD>(buffer[3]) << 24;
    return ERROR_SUCCESS;
}

// Without a key (it could not be made) the value is reported unwritten.
void PutDword(HKEY key, const char* name, DWORD value) {
    const BYTE bytes[kDwordSize] = {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8),
                                    static_cast<BYTE>(value >> 16), static_cast<BYTE>(value >> 24)};
    const RegValueBlob blob(REG_DWORD, bytes, kDwordSize);
    const LONG status = key ? RegistryAccess().WriteValue(key, name, &blob) : ERROR_INVALID_HANDLE;
    PrintLine(status == ERROR_SUCCESS ? "Reg entry put SUCCESSFULLY!!\n" : "Reg entry put UNSUCCESSFUL!!\n");
}

}  // namespace

DWORD CConfigStore::ReadSettings() {
    manual_ = kDefaultManual;
    timeDelay_ = kDefaultTimeDelay;
    restored_ = kDefaultRestored;
    win::UniqueKey key;
    LONG status = RegOpenKeyA(HKEY_CURRENT_USER, keys::kConfig, key.Put());
    if (status != ERROR_SUCCESS) return static_cast<DWORD>(status);

    // Each setting on its own: one that is missing or misshapen keeps its default.
    DWORD value = 0;
    status = QueryDword(key.Get(), "Manual", &value);
    if (status == ERROR_SUCCESS) manual_ = static_cast<int>(value);
    if (QueryDword(key.Get(), "TimeDelay", &value) == ERROR_SUCCESS) timeDelay_ = value;
    if (QueryDword(key.Get(), "Restored", &value) == ERROR_SUCCESS) restored_ = static_cast<int>(value);
    return static_cast<DWORD>(status);
}

void CConfigStore::WriteSettings() {
    // Made when missing: an account the installer did not set up keeps its choice too.
    win::UniqueKey key;
    registry::CreateUserKey(keys::kConfig, KEY_SET_VALUE, &key);
    PutDword(key.Get(), "Manual", static_cast<DWORD>(manual_));
    PutDword(key.Get(), "TimeDelay", timeDelay_);
    PutDword(key.Get(), "Restored", static_cast<DWORD>(restored_));
}
