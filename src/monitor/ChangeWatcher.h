#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include <memory>
#include <vector>

#include "monitor/WatchTarget.h"
#include "win/Scoped.h"

// Watches one registry key (and its subkeys) or one folder on a thread of its
// own and calls back after every change, so that a program adding itself to a
// start-up list while Pacewick runs is taken over at once. The watcher knows
// nothing of what the callback does.
class ChangeWatcher {
public:
    using Callback = std::function<void()>;

    ChangeWatcher(WatchTarget target, Callback onChange);
    // Stops the watcher, waiting as long as its callback takes: the thread uses
    // this object until it ends.
    ~ChangeWatcher();
    ChangeWatcher(const ChangeWatcher&) = delete;
    ChangeWatcher& operator=(const ChangeWatcher&) = delete;

    // Starts the thread and returns once it has armed its first notification
    // (or ended, when the key cannot be opened or watched), so that every later
    // change is seen. Does nothing while the watcher runs.
    void Start();
    // Tells the watcher to end, without waiting: lets several end together.
    void RequestStop();
    // Ends the watcher and returns once it neither runs nor will call back; a
    // callback under way is finished first, never cut off. True once ended;
    // false when the thread has not ended within timeoutMs: it then still runs
    // (its callback goes on and it ends after it), and Start does nothing until
    // it has ended.
    bool Stop(DWORD timeoutMs = INFINITE);

private:
    static DWORD WINAPI ThreadProcedure(LPVOID watcher);
    DWORD Watch();
    DWORD WatchKey();
    DWORD WatchFolder();
    bool IsRunning() const;

    WatchTarget target_;
    Callback onChange_;
    win::UniqueHandle thread_;
    // Manual-reset: once set, every wait sees it until the next start.
    win::UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    // Set once the thread has armed its first notification, or has ended.
    win::UniqueHandle ready_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// Asks for one change notification of the key (and its subkeys; of its values
// alone with `valuesOnly`) through the event; false, after its diagnostic
// line, when the registry refuses.
bool ArmRunKeyNotification(HKEY key, HANDLE event, bool valuesOnly = false);

// One cycle on a notification armed by ArmRunKeyNotification: wait for a change
// (or the stop), arm again, call back. Arming before the callback means that a
// change made while it runs causes one more cycle instead of going unseen.
// True when the watcher goes on; false after an error or when told to stop.
bool AwaitRunKeyChange(HKEY key, HANDLE event, HANDLE stop, const std::function<void()>& onChange,
                       bool valuesOnly = false);

// The watchers of several targets, started and stopped together, all calling
// the same callback: the program's and the keeper service's monitors.
class WatcherSet {
public:
    // Called with the index of the target that changed.
    using TargetCallback = std::function<void(std::size_t target)>;

    WatcherSet(const std::vector<WatchTarget>& targets, ChangeWatcher::Callback onChange);
    WatcherSet(const std::vector<WatchTarget>& targets, TargetCallback onChange);
    WatcherSet(const WatcherSet&) = delete;
    WatcherSet& operator=(const WatcherSet&) = delete;

    // Starts every watcher, in order, and returns once each has armed its
    // notification (or ended), so that every later change is seen. Does
    // nothing for watchers that already run.
    void Start();
    // Ends every watcher and returns once none runs nor will call back; a
    // callback under way is finished first, never cut off. The wait is bounded
    // (for all together): when a watcher has not ended in time, a line says so
    // and false is returned; it still ends after its callback, and no later
    // callback begins.
    bool Stop(DWORD timeoutMs = INFINITE);
    // The number of callbacks begun since the set was made.
    long ChangeCount() const { return changes_.load(); }
    // True from a Stop until the next Start: a callback under way asks it
    // between items, so that it ends after the one in hand.
    bool StopAsked() const { return stopAsked_.load(); }

private:
    std::mutex mutex_;  // one Start or Stop at a time
    std::atomic<long> changes_{0};
    std::atomic<bool> stopAsked_{false};
    std::vector<std::unique_ptr<ChangeWatcher>> watchers_;
};
