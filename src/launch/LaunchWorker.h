#pragma once
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "launch/Launcher.h"
#include "entry/EntryList.h"

namespace launch {

// Starts batches of entries on a thread of its own, one batch after the other,
// so that a window handing them over stays responsive however long the starts
// take. The caller hands over copies; no lock is held across a start.
class LaunchWorker {
public:
    // Called on the worker's thread once a batch has been started (or stopped);
    // a window is told by a posted message, never a sent one.
    using Done = std::function<void()>;
    // Asked before each start, on the worker's thread: returns once a start may
    // begin, or as soon as the check it is given says the starts are stopped.
    using Pace = std::function<void(const Launcher::StopCheck& stopped)>;

    explicit LaunchWorker(const Launcher& launcher) : launcher_(launcher) {}
    ~LaunchWorker() { Stop(); }
    LaunchWorker(const LaunchWorker&) = delete;
    LaunchWorker& operator=(const LaunchWorker&) = delete;

    // Before the first batch.
    void SetPace(Pace pace) { pace_ = std::move(pace); }
    // Every entry but the logon tasks, as Launcher::LaunchAll; `outcome`, when
    // given, hears of each start on the worker's thread, before `done`.
    void LaunchAll(const EntryList& entries, Done done, StartOutcome outcome = {});
    // These entries, as Launcher::LaunchEntry each.
    void LaunchEach(EntryList entries, Done done);
    // No start begins once this returns: it waits for the one in hand only and
    // drops the rest (held where they are, they start at the next log-on).
    // Nothing is handed over afterwards.
    void Stop();

private:
    struct Batch {
        EntryList entries;
        Launcher::BatchKind kind;
        Done done;
        StartOutcome outcome;
    };
    void Hand(Batch batch);
    void Run();

    const Launcher& launcher_;
    Pace pace_;
    std::mutex mutex_;  // the queue only
    std::condition_variable handed_;
    std::deque<Batch> batches_;
    bool stopping_ = false;
    std::atomic<bool> stop_{false};  // read between starts
    std::thread thread_;
};

}  // namespace launch
