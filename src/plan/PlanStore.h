#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "entry/EntryList.h"
#include "plan/StartLevel.h"

namespace plan {

// The account's chosen level of each entry, under its own key
// (keys::kPlan): one REG_DWORD per entry, named as the entry is known, in a
// subkey per kind of list, so that a program removing and adding its value
// again, Restore All and upgrades keep the choice:
//   Run            a Run value's name (whichever Run keys hold it)
//   Startup        a file's name in the user's Startup folder
//   Common Startup a file's name in the all-users Startup folder
// A logon task has no plan: the Task Scheduler starts it.
class PlanStore {
public:
    explicit PlanStore(HKEY root = HKEY_CURRENT_USER) : root_(root) {}

    // The level chosen for the entry; nothing when none was chosen (or the
    // entry is a logon task). A value of the wrong type or size, or out of
    // range, reads as AsSet.
    std::optional<StartLevel> Read(const StartupEntry& entry) const;
    // Each entry's choice, in the list's order.
    std::vector<std::optional<StartLevel>> ReadAll(const EntryList& entries) const;
    // False when the entry can have no plan or the value could not be written.
    bool Write(const StartupEntry& entry, StartLevel level) const;
    // Forgets the entry's choice ("Delete entry"); true when none is left.
    bool Drop(const StartupEntry& entry) const;

private:
    HKEY root_;
};

// True when both entries' choices are one value of the store (a Run value's
// name in any Run key, one Startup folder's file); never for a logon task.
bool SharePlan(const StartupEntry& one, const StartupEntry& other);

}  // namespace plan
