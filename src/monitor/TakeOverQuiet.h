#pragma once
#include <windows.h>

#include <atomic>
#include <functional>

// Shared by the watchers' take-overs and the starts of the delayed programs: a
// start waits while a take-over is under way and a moment after it. Under Wine
// every registry call of a take-over is a round trip to the one server process,
// which a starting program (its new process, its libraries, the shell's part)
// crowds with requests of its own: a newcomer in a Run key would wait for them.
class TakeOverQuiet {
public:
    // After a take-over: the cycle that its own writes wake follows at once.
    static constexpr DWORD kQuietMs = 100;
    // A stream of newcomers holds a start back this long at most.
    static constexpr DWORD kLongestWaitMs = 500;

    // Runs a take-over, on a watcher's thread.
    void During(const std::function<void()>& takeOver);
    // Returns once no take-over is under way and none ended within kQuietMs,
    // after kLongestWaitMs, or as soon as `stopped` says so.
    void Wait(const std::function<bool()>& stopped) const;

private:
    bool Quiet() const;

    std::atomic<int> underWay_{0};
    std::atomic<ULONGLONG> lastEnded_{0};
};
