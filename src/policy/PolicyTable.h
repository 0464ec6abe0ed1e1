#pragma once
#include <windows.h>

#include <cstddef>

// Every setting an administrator may set through Group Policy, in one table:
// the registry value it is read from (under keys::kPolicies), its type and
// range, the classes (machine, user) it may be set in, and its English texts,
// from which installer/policy/Pacewick.admx and its .adml are written.
namespace policy {

// The four settings that have a value; the lists follow them in the table.
enum class Setting { DelayMinutes, Manual, StartWhenReady, NotifyNewcomers };
constexpr std::size_t kSettingCount = 4;

enum class Kind { Decimal, Switch, List };
// Where a policy may be set: the machine's hive, a user's, or both.
enum Classes : unsigned { kMachineClass = 1, kUserClass = 2, kBothClasses = kMachineClass | kUserClass };

struct Policy {
    const wchar_t* valueName;  // the REG_DWORD's name, or a list's key below keys::kPolicies
    Kind kind;
    DWORD minimum;  // a Decimal's range; a Switch is 0 or 1; a list has none
    DWORD maximum;
    unsigned classes;
    bool inDefaults;  // the package may set it among the machine's defaults (keys::kDefaults)
    const char* displayName;
    const char* explanation;
};

constexpr std::size_t kPolicyCount = kSettingCount + 2;
extern const Policy kPolicyTable[kPolicyCount];

// A setting's row.
inline const Policy& PolicyOf(Setting setting) { return kPolicyTable[static_cast<std::size_t>(setting)]; }

}  // namespace policy
