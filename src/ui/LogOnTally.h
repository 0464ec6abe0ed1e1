#pragma once
#include <windows.h>

#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

namespace ui {

// The most a summary line takes: what the tray icon's tip holds
// (NOTIFYICONDATAW's szTip, its NUL aside); the status line keeps to it too.
constexpr std::size_t kSummaryUnits = 127;

// This log-on's starts, as the window sums them up once the last of them is
// through: how many started, how long after Pacewick's own start the last one
// did, and which failed. Told from the launch worker's thread and read on the
// window's, each under its lock; no lock is held across a start. Times are in
// FILETIME units (100 ns).
class LogOnTally {
public:
    explicit LogOnTally(ULONGLONG since) : since_(since) {}
    LogOnTally(const LogOnTally&) = delete;
    LogOnTally& operator=(const LogOnTally&) = delete;

    // When this process was created, and the time now.
    static ULONGLONG ProcessCreation();
    static ULONGLONG Now();

    // A batch of starts handed over, and its end: while any is out, no summary.
    void Open();
    void Close();
    bool Busy() const;
    // One start, made at `at`: a failed one is named by `name`, another
    // program's text, shown as the list shows a name.
    void Record(const std::wstring& name, bool started, ULONGLONG at);

    // The figures behind the summary: how many started and failed, and the
    // whole seconds from Pacewick's start to the last start that worked.
    struct Figures {
        std::size_t started = 0;
        std::size_t failed = 0;
        ULONGLONG secondsToLast = 0;
    };
    Figures Counted() const;

    // "12 started in 0:41", or with what failed ("11 started in 0:41, 1 failed:
    // Foo"), the names cut with "..." so that the whole takes at most `room`
    // units; empty while no start has been made.
    std::wstring Summary(std::size_t room) const;

private:
    Figures FiguresLocked() const;

    mutable std::mutex mutex_;
    const ULONGLONG since_;
    std::size_t open_ = 0;
    std::size_t started_ = 0;
    ULONGLONG lastStarted_ = 0;  // 0: none yet
    ULONGLONG lastTried_ = 0;
    std::vector<std::wstring> failed_;  // as shown
};

}  // namespace ui
