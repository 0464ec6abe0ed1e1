#pragma once
#include <windows.h>

#include <string>
#include <vector>

// The accounts that have a profile on this computer, as Windows lists them.
namespace accounts {

struct Account {
    std::wstring sid;      // "S-1-5-21-..."
    std::wstring profile;  // its profile folder, expanded; empty when the list names none usable
};

// Every account of the machine's list of profiles (under `machine`, the
// HKEY_LOCAL_MACHINE of the caller) but the service accounts (SYSTEM, local
// and network service), whose profiles no person signs in to.
std::vector<Account> ProfileAccounts(HKEY machine);

// The account's %APPDATA% and Startup folder, read from its hive (its Explorer
// folders, as it set them) or Windows' defaults below its profile. A folder is
// kept only when it lies below the profile folder by its names; empty
// otherwise, and `why` says so.
struct AccountFolders {
    std::wstring appData;
    std::wstring startup;
};
AccountFolders FoldersOf(HKEY hive, const Account& account, std::string* why);

}  // namespace accounts
