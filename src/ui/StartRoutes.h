#pragma once
#include <cstddef>
#include <functional>
#include <set>
#include <string>

#include "entry/EntryList.h"
#include "plan/StartPlan.h"

namespace ui {

// Which held entries one window starts at which of its turns, by each entry's
// level as it is kept when the turn comes, and what it has started already:
// each distinct command of a Run value's name, and each Startup item, starts
// once, whichever lists hold it and however often a program takes its value
// out and puts it back meanwhile. Logon tasks are the Task Scheduler's: no
// turn starts them.
class StartRoutes {
public:
    // The account's settings that this window started with.
    void SetSettings(const plan::Settings& settings) { settings_ = settings; }

    // At Pacewick's start: the At log-on entries, counted as started.
    EntryList AtStart(const EntryList& list);
    // What the ready-start gets: the When-ready entries not started yet. They
    // count as started once a turn below has ended the ready-start.
    EntryList ForReadyStart(const EntryList& list) const;
    // Ends the ready-start; returns those of its entries that it has not started.
    using FinishReady = std::function<EntryList(const EntryList& readyEntries)>;
    // The countdown's end, or Run All with `everyEntry`: the When-ready entries
    // that the ready-start (none: null) has not started, then those due after
    // the delay; Run All adds every other one. Counted as started, in the order
    // they start.
    EntryList AtTurn(const EntryList& list, const FinishReady& finishReady, bool everyEntry);
    // Whether the countdown's end has starts of its own to make: an After the
    // delay entry (or As set, without the ready-start) not started yet.
    bool DueAtCountdownEnd(const EntryList& list) const;
    // How many entries wait for Run or Run All: those only started by hand (in
    // Manual every one but the At log-on ones) that have not started.
    std::size_t WaitingForHand(const EntryList& list) const;

private:
    plan::Schedule Split(const EntryList& list) const;
    // The entries, each with only its commands not started yet; one with none left is left out.
    EntryList NotStarted(const EntryList& entries) const;
    void CountStarted(const EntryList& entries);

    plan::Settings settings_;
    std::set<std::wstring> started_;  // what each start is known by (StartKey)
};

}  // namespace ui
