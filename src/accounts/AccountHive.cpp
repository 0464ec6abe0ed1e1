#include "accounts/AccountHive.h"

#include "registry/RegKey.h"
#include "win/ProtectedFolder.h"

namespace accounts {
namespace {

constexpr const wchar_t* kHiveFile = L"\\NTUSER.DAT";
constexpr const wchar_t* kMountPrefix = L"Pacewick restore ";

// Loading and unloading a hive needs both, which the system holds but has not enabled.
bool EnableHivePrivileges() {
    win::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put())) return false;
    bool enabled = true;
    for (const wchar_t* name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        enabled = LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr) &&
                  GetLastError() == ERROR_SUCCESS && enabled;
    }
    return enabled;
}

// The hive file is the account's own: a link or a file of another's is not loaded.
bool AcceptableHiveFile(const std::wstring& path, const std::wstring& sid) {
    const win::UniqueHandle file(CreateFileW(win::LongPath(path).c_str(), FILE_READ_ATTRIBUTES | READ_CONTROL,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return file && win::Acceptable(file.Get(), path, win::HandleKind::File, win::Owners::AccountToo(sid));
}

}  // namespace

bool AccountHive::Open(HKEY users, const Account& account, std::string* why) {
    Unload();
    if (key_.Open(users, account.sid, KEY_READ | KEY_SET_VALUE) == ERROR_SUCCESS) return true;
    if (account.profile.empty()) {
        *why = "the list of profiles names no folder for it";
        return false;
    }
    const std::wstring file = account.profile + kHiveFile;
    if (!AcceptableHiveFile(file, account.sid)) {
        *why = "its registry file cannot be opened, is a link or belongs to another account";
        return false;
    }
    if (!EnableHivePrivileges()) {
        *why = "the privileges to load a registry file are not held";
        return false;
    }
    const std::wstring mount = kMountPrefix + account.sid;
    // One left by a removal that was ended midway.
    registry::UnloadHive(mount);
    const LONG loaded = registry::LoadHive(mount, file);
    if (loaded != ERROR_SUCCESS) {
        *why = "its registry file cannot be loaded (error " + std::to_string(loaded) + ")";
        return false;
    }
    mount_ = mount;
    if (key_.Open(HKEY_USERS, mount, KEY_READ | KEY_SET_VALUE) != ERROR_SUCCESS) {
        *why = "its registry cannot be opened once loaded";
        Unload();
        return false;
    }
    return true;
}

bool AccountHive::Unload() {
    key_ = registry::Key();
    if (mount_.empty()) return true;
    const bool unloaded = registry::UnloadHive(mount_) == ERROR_SUCCESS;
    mount_.clear();
    return unloaded;
}

}  // namespace accounts
