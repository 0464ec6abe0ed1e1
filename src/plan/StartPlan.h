#pragma once
#include <optional>
#include <vector>

#include "entry/EntryList.h"
#include "plan/StartLevel.h"

namespace plan {

// True for a system component that must never wait (the never-wait table):
// matched by its program's file name and folder, never by name alone.
bool NeverWaits(const StartupEntry& entry);

// The level an entry has: the one chosen for it, else AtLogOn for a component
// that must never wait, else AsSet.
StartLevel LevelOf(const StartupEntry& entry, std::optional<StartLevel> chosen);

// Each entry's level, in the list's order, as the account's store keeps them
// now (a logon task's is AsSet: no turn of Pacewick's starts it).
std::vector<StartLevel> LevelsOf(const EntryList& entries);

// The account's settings that AsSet follows.
struct Settings {
    bool manual = false;
    bool startWhenReady = false;
};

// How an entry starts by itself. In Manual mode only AtLogOn entries do.
enum class Route { AtStart, WhenReady, AtCountdownEnd, ByHand };
Route RouteOf(StartLevel level, const Settings& settings);

// A list split by route, each part in the list's order.
struct Schedule {
    EntryList atStart;
    EntryList whenReady;
    EntryList atCountdownEnd;
    EntryList byHand;
};
// `levels` in the list's order (one per entry; a missing one counts as AsSet).
Schedule ScheduleOf(const EntryList& entries, const std::vector<StartLevel>& levels, const Settings& settings);

}  // namespace plan
