#pragma once
#include <windows.h>

#include <cstddef>
#include <functional>
#include <memory>

#include "ready/FirstMinute.h"
#include "ready/ImpactStore.h"
#include "launch/Launcher.h"
#include "ready/ReadyStarter.h"
#include "ready/SystemLoad.h"
#include "entry/EntryList.h"

namespace ready {

// One log-on's start "when the computer is ready": the held entries start as
// the machine's load allows, the heaviest first; each started
// program runs below normal priority for its first minute, and what it used
// then is kept as its impact for the next log-on's order. Owned by the window;
// the countdown's end takes over whatever has not started.
class ReadySession {
public:
    struct Hooks {
        // How many have started of how many (after each start, failed or not).
        std::function<void(std::size_t started, std::size_t total)> progress;
        // Whether each start worked.
        launch::StartOutcome outcome;
    };

    // `load`: where the samples come from (null: the machine's own, SystemLoad).
    // The hooks are called on the ready-start's thread and must not block.
    ReadySession(const EntryList& entries, const launch::Launcher& launcher, Hooks hooks,
                 std::unique_ptr<LoadSource> load = nullptr, HKEY settingsRoot = HKEY_CURRENT_USER);
    ReadySession(const ReadySession&) = delete;
    ReadySession& operator=(const ReadySession&) = delete;

    // Ends the ready-start after the start in hand: the entries of `current`
    // (the list as it is now, newcomers included) that it has not started.
    // The programs it started keep their first minute.
    EntryList Finish(const EntryList& current);

private:
    static unsigned LogicalProcessors();

    ImpactStore impacts_;
    std::unique_ptr<LoadSource> load_;
    FirstMinute firstMinute_;
    ReadyStarter starter_;  // last: its thread uses the members above
};

}  // namespace ready
