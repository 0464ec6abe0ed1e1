#pragma once
#include <windows.h>

#include <string>

#include "accounts/Profiles.h"
#include "registry/RegKey.h"

namespace accounts {

// An account's HKEY_CURRENT_USER, for the system's work: the hive Windows has
// loaded for its signed-in session (HKEY_USERS\<SID>), or else its profile's
// NTUSER.DAT, loaded under HKEY_USERS for the moment and unloaded again (at the
// latest when this ends). While it is loaded the account cannot sign in, so the
// moment is kept short.
class AccountHive {
public:
    AccountHive() = default;
    ~AccountHive() { Unload(); }
    AccountHive(const AccountHive&) = delete;
    AccountHive& operator=(const AccountHive&) = delete;

    // `users` is where signed-in accounts' hives are (HKEY_USERS). False, with
    // the reason in `why`, when neither way reaches the hive.
    bool Open(HKEY users, const Account& account, std::string* why);
    HKEY Get() const { return key_.Get(); }
    // True when this loaded the hive from its file.
    bool LoadedHere() const { return !mount_.empty(); }
    // Closes the hive and unloads it when this loaded it; false when Windows
    // keeps it loaded (a handle still open in it).
    bool Unload();

private:
    registry::Key key_;
    std::wstring mount_;
};

}  // namespace accounts
