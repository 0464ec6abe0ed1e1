#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "entry/ItemEvents.h"

// The package's removal, as the system, gives every account of the computer its
// held programs back: its Run key's from its BackUp key, its Startup folder's
// from its Startup BackUp folder, each by the same exact-copy rules as Restore
// All. A signed-in account's registry is reached where Windows loaded it; any
// other's by loading its profile's registry file for the moment. An account
// that cannot be reached keeps its programs where they are held, and is named.
namespace accounts {

struct Places {
    HKEY machine = HKEY_LOCAL_MACHINE;  // where the list of profiles is
    HKEY users = HKEY_USERS;            // where signed-in accounts' registries are loaded
    // Shown an account's registry that this loaded, before it is unloaded (a
    // test's look: Wine writes no loaded registry file back).
    using BeforeUnload = std::function<void(const std::wstring& sid, HKEY hive)>;
    BeforeUnload beforeUnload;
};

enum class Outcome {
    Begun,        // its programs are being put back (the item events that follow are its)
    Back,         // everything it held is back where Windows starts it
    NotAllBack,   // some stay held: the item events said which
    Unreachable,  // its registry or its folders cannot be reached: everything stays held
};

struct AccountNews {
    const std::wstring& sid;
    Outcome outcome;
    const std::string& why;  // for NotAllBack and Unreachable, when known
};

struct Tally {
    unsigned back = 0, notAllBack = 0, unreachable = 0;
};

// Every account's, in the order of the list of profiles. `events` is told of
// every item, `told` of each account's beginning and end.
Tally RestoreEveryAccount(const Places& places, ItemEventSink& events,
                          const std::function<void(const AccountNews&)>& told);

}  // namespace accounts
