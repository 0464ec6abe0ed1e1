#pragma once
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ready/ReadyStart.h"
#include "win/Scoped.h"

namespace ready {

// A program's first minute after a ready-start: it runs below normal priority,
// for its processors and its memory, so that the desktop stays responsive, and
// what it used in that minute gives its impact class. Then it runs as usual.
class FirstMinute {
public:
    // How a process's priority is lowered and given back; tests record instead.
    // `lowered`: true to lower, false to give back what it had. True when done.
    using PrioritySetter = std::function<bool(HANDLE process, bool lowered)>;
    // Called on the watching thread with each program's first minute; it must not block.
    using Measured = std::function<void(const std::wstring& name, const Usage& usage)>;

    explicit FirstMinute(Measured measured, std::chrono::milliseconds minute = std::chrono::minutes(1),
                         PrioritySetter setter = nullptr);
    // Programs still in their first minute get their priority back now, unmeasured.
    ~FirstMinute();
    FirstMinute(const FirstMinute&) = delete;
    FirstMinute& operator=(const FirstMinute&) = delete;

    // Lowers the process's priority and watches it for a minute. The handle
    // needs PROCESS_SET_INFORMATION and PROCESS_QUERY_LIMITED_INFORMATION.
    void Watch(std::wstring name, win::UniqueHandle process);

    // The system's way: below-normal processor and memory priority, and back.
    static bool SetPriority(HANDLE process, bool lowered);
    // What a process used so far: processor time and bytes read and written.
    static bool UsageOf(HANDLE process, Usage* usage);

private:
    struct Watched {
        std::wstring name;
        win::UniqueHandle process;
        std::chrono::steady_clock::time_point until;
        Usage seen;
        bool measured = false;
    };
    static constexpr std::chrono::seconds kLookEvery{1};
    static void Look(Watched& program);
    void Run();
    // Which programs leave the watch: those whose minute is over, or every one.
    enum class Taken { Due, All };
    std::vector<Watched> TakeDue(Taken taken);

    const Measured measured_;
    const std::chrono::milliseconds minute_;
    const PrioritySetter setter_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Watched> watched_;
    bool stopping_ = false;
    std::thread thread_;  // last: it uses the members above
};

}  // namespace ready
