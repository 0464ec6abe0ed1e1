#include "plan/StartPlan.h"

#include "plan/PlanStore.h"

#include "plan/NeverWait.h"

namespace plan {

StartLevel LevelFromNumber(DWORD number) {
    return number <= kHighestLevel ? static_cast<StartLevel>(number) : StartLevel::AsSet;
}

namespace {

// The administrator's lists are read once for a whole list, not once per entry.
StartLevel LevelOf(const StartupEntry& entry, std::optional<StartLevel> chosen,
                   const policy::ListedPrograms& startAtLogOn) {
    if (chosen) return *chosen;
    return InNeverWaitTable(entry, startAtLogOn) ? StartLevel::AtLogOn : StartLevel::AsSet;
}

}  // namespace

bool NeverWaits(const StartupEntry& entry) { return InNeverWaitTable(entry); }

StartLevel LevelOf(const StartupEntry& entry, std::optional<StartLevel> chosen) {
    if (chosen) return *chosen;
    return NeverWaits(entry) ? StartLevel::AtLogOn : StartLevel::AsSet;
}

std::vector<StartLevel> LevelsOf(const EntryList& entries) {
    const std::vector<std::optional<StartLevel>> chosen = PlanStore().ReadAll(entries);
    const policy::ListedPrograms startAtLogOn = policy::ListedPrograms::StartAtLogOn();
    std::vector<StartLevel> levels;
    levels.reserve(chosen.size());
    std::size_t index = 0;
    for (const StartupEntry& entry : entries) levels.push_back(LevelOf(entry, chosen[index++], startAtLogOn));
    return levels;
}

Route RouteOf(StartLevel level, const Settings& settings) {
    if (level == StartLevel::AtLogOn) return Route::AtStart;
    if (settings.manual || level == StartLevel::OnlyByHand) return Route::ByHand;
    switch (level) {
    case StartLevel::WhenReady: return Route::WhenReady;
    case StartLevel::AfterDelay: return Route::AtCountdownEnd;
    default: return settings.startWhenReady ? Route::WhenReady : Route::AtCountdownEnd;
    }
}

Schedule ScheduleOf(const EntryList& entries, const std::vector<StartLevel>& levels, const Settings& settings) {
    Schedule schedule;
    std::size_t index = 0;
    for (const StartupEntry& entry : entries) {
        const StartLevel level = index < levels.size() ? levels[index] : StartLevel::AsSet;
        ++index;
        EntryList* part = nullptr;
        switch (RouteOf(level, settings)) {
        case Route::AtStart: part = &schedule.atStart; break;
        case Route::WhenReady: part = &schedule.whenReady; break;
        case Route::AtCountdownEnd: part = &schedule.atCountdownEnd; break;
        case Route::ByHand: part = &schedule.byHand; break;
        }
        EntryList one;
        one.InsertFront(entry);
        part->Append(one);
    }
    return schedule;
}

}  // namespace plan
