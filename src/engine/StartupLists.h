#pragma once
#include <windows.h>

#include <cstddef>
#include <vector>

#include "model/StartupEntry.h"
#include "registry/RegistryKeys.h"

// One Run key that Pacewick takes over, and the BackUp key beside it that keeps
// what it took. Every operation on the start-up lists walks these rows; handling
// another Run key is one more row (and the installer's key for it).
struct StartupList {
    HKEY root;               // HKEY_CURRENT_USER or HKEY_LOCAL_MACHINE
    REGSAM view;             // 0, or KEY_WOW64_64KEY: the native keys, from a 32-bit build too
    const char* runPath;     // the Run key, under root
    const char* backUpPath;  // its BackUp key, under root in the same view
    Origin origin;           // what entries listed from the BackUp key are
    const char* approvedPath;    // Explorer's switches for this Run key (StartupApproved), same hive
    const char* disablingPolicy;  // the Explorer policy that turns the whole list off
};

// The rows, in the order the list is built: the current user's first, so that
// its entries win the duplicate rule. Its index and the machine's are the hive
// selectors 0 and 1 of DeleteBackupEntry.
inline const std::vector<StartupList>& StartupLists() {
    static const std::vector<StartupList> lists = {
        {HKEY_CURRENT_USER, 0, keys::kRun, keys::kBackUp, Origin::CurrentUser, keys::kApprovedRun,
         keys::kDisableUserRun},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, keys::kRun, keys::kBackUp, Origin::AllUsers, keys::kApprovedRun,
         keys::kDisableMachineRun},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, keys::kRun32, keys::kBackUp32, Origin::AllUsers, keys::kApprovedRun32,
         keys::kDisableMachineRun},
    };
    return lists;
}
constexpr std::size_t kUserList = 0;
constexpr std::size_t kMachineList = 1;
