#pragma once
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "ready/ProgramPause.h"
#include "ready/ReadyStart.h"
#include "entry/EntryList.h"
#include "launch/Launcher.h"
#include "win/Scoped.h"

namespace ready {

// Starts the held entries when the computer is ready, on a thread of its own:
// at every sampling interval it asks the readiness rule how many may start,
// and starts them, the heaviest first, and pauses or resumes the programs it
// started as the rule says. The countdown's end (or Run All) stops it and
// starts what is left as the countdown does. The logon tasks are left to the
// Task Scheduler, as the countdown leaves them.
class ReadyStarter {
public:
    struct Hooks {
        // Starts one entry: whether it started, and the started program's process
        // when one is known (a start through the desktop shell gives none).
        std::function<bool(const StartupEntry& entry, win::UniqueHandle* process)> start;
        // How many have started of how many; called on the starter's thread, must not block.
        std::function<void(std::size_t started, std::size_t total)> progress;
        // Whether each start worked; the same thread, must not block.
        launch::StartOutcome outcome;
        // Each started program's process, for its first minute.
        std::function<void(const StartupEntry& entry, win::UniqueHandle process)> started;
    };

    // `impacts`: each entry's class, in the list's order (the same count).
    ReadyStarter(const EntryList& entries, const std::vector<Impact>& impacts, LoadSource& load, Hooks hooks,
                 unsigned processors, std::chrono::milliseconds interval = std::chrono::milliseconds(kSampleIntervalMs));
    // Finishes the start in hand and lets every paused program go; whatever is left stays held.
    ~ReadyStarter() { Stop(); }
    ReadyStarter(const ReadyStarter&) = delete;
    ReadyStarter& operator=(const ReadyStarter&) = delete;

    // Stops after the start in hand, every paused program resumed; how many of Order() have started.
    std::size_t Stop();
    // The entries in their starting order.
    const EntryList& Order() const { return queue_; }

private:
    void Run();
    // Starts the next entry; false once stopping.
    bool StartNext(ReadyRule& rule, ProgramPause& pause);
    // Waits for the next interval; false once stopping.
    bool WaitInterval();

    EntryList queue_;  // in starting order
    std::vector<Impact> classes_;  // queue_'s, in its order
    LoadSource& load_;
    const Hooks hooks_;
    const unsigned processors_;
    const std::chrono::milliseconds interval_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::size_t next_ = 0;  // the first entry not started; the starter's thread's own until it ends
    std::thread thread_;  // last: it uses the members above
};

}  // namespace ready
