#pragma once
#include "lists/StartupSource.h"

namespace lists {

// Every kind of start-up list Pacewick takes over, one row each, in the order
// the list is built: the current user's Run key first, so that its entries win
// the duplicate rule. A row's index is its bit in an entry's ListSet and in the
// keeper's requests: rows are only ever added at the end.
SourceTable BuildSourceTable();

// Another account's lists, for the system (the package's removal): its Run key
// in its hive and its Startup folder, in their rows; the machine's rows hold
// nothing. Its keys are opened never through a link, its folders only below
// its profile folder and owned by SYSTEM, the administrators or the account.
struct AccountPlaces {
    HKEY hive = nullptr;         // the account's HKEY_CURRENT_USER, open
    std::wstring sid;            // whose folders are trusted
    std::wstring profile;        // its profile folder, from the machine's list of profiles
    std::wstring startupFolder;  // its Startup folder and its %APPDATA%, below the profile;
    std::wstring appData;        //   both empty when they lie elsewhere: the row then holds nothing
};
SourceTable BuildAccountSourceTable(const AccountPlaces& account);

}  // namespace lists
