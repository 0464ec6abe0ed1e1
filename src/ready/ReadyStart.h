#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <vector>

// Starting "when the computer is ready": the held entries start as the
// machine has room for them, the heaviest first so that they are done early,
// while the person's own work goes first; the delay the user chose stays the
// deadline for all.
namespace ready {

// What the machine and the person did over one sampling interval.
struct LoadSample {
    double cpu = 0;   // the processors' busy share, from 0 to 1
    double disk = 0;  // the busiest disk's, from 0 to 1
    // Since the person's last key press or mouse move (GetLastInputInfo).
    std::uint32_t sinceInputMs = UINT32_MAX;
    // The process of the foreground window; 0 for none, or Pacewick's own.
    DWORD foreground = 0;
};

// Where the samples come from: the machine (SystemLoad) or a test's script.
class LoadSource {
public:
    virtual ~LoadSource() = default;
    // The load since the previous call (the first call: since the source was made).
    virtual LoadSample Sample() = 0;
};

constexpr unsigned kSampleIntervalMs = 100;

// How heavy a program was in its first minute, in Task Manager's classes.
enum class Impact { NotMeasured, Low, Medium, High };

struct Usage {
    std::uint64_t cpuMs = 0;      // user and kernel time
    std::uint64_t diskBytes = 0;  // read and written
};
// High: more than 1 s of CPU or 3 MB of disk; Medium: from 0.3 s or 0.3 MB;
// Low: below both (1 MB = 1,048,576 bytes).
Impact ImpactOf(const Usage& usage);
// The place of a class in the starting order: High first, Low last; an entry
// never measured goes with the Medium ones.
int StartRank(Impact impact);
// How much of a processor a program of this class is expected to take.
double ProcessorsExpected(Impact impact);

// The entries to start in order of their classes, the list's order kept
// within a class: indexes into `impacts`.
std::vector<std::size_t> StartingOrder(const std::vector<Impact>& impacts);

// What the rule asks for after an interval.
struct Step {
    std::size_t starts = 0;  // how many of the next entries start now
    bool pause = false;      // whether the programs started so far hold still
};

// The readiness rule, fed one sample per interval:
// - it starts the next entries while their expected load fits in the
//   processors left spare, and lets each start show before the next;
// - it holds back while the person types (input within kInputHoldMs), for a
//   moment after a program it did not start comes to the foreground, and
//   while the disks are busy;
// - when such a program comes to the foreground while no processor is spare,
//   the programs it started pause, and stay paused as long as the machine has
//   no processor spare without them (so it is the person's program that is
//   busy), at most kLongestPauseMs at a stretch.
// The deadline is not its business: the countdown's end starts what is left.
class ReadyRule {
public:
    // `impacts`: the classes of the entries in their starting order.
    ReadyRule(std::vector<Impact> impacts, unsigned processors, unsigned intervalMs = kSampleIntervalMs);

    Step Next(const LoadSample& sample);
    // A process that one of its starts made: its window is not the person's,
    // and it is what a pause holds still.
    void NoteOwnProcess(DWORD processId) { ours_.push_back(processId); }

    std::size_t StartedCount() const { return started_; }
    bool AllStarted() const { return started_ == impacts_.size(); }
    // Every entry started and the last one's first minute over: nothing
    // left to start or to pause.
    bool Done() const;

    static constexpr std::uint32_t kInputHoldMs = 2000;
    static constexpr std::uint32_t kForegroundHoldMs = 2000;
    static constexpr std::uint32_t kLongestPauseMs = 5000;
    static constexpr std::uint32_t kStartShowsMs = 500;
    static constexpr std::uint32_t kFirstMinuteMs = 60000;

private:
    bool Ours(DWORD processId) const;
    void SeeForeground(DWORD processId);
    bool HoldStill(double spare);
    bool HoldBack(const LoadSample& sample) const;
    std::size_t StartsThatFit(double spare) const;

    const std::vector<Impact> impacts_;
    const unsigned processors_;
    const unsigned intervalMs_;
    std::vector<DWORD> ours_;
    std::size_t started_ = 0;
    std::uint32_t now_ = 0;  // ms since the rule began, counted in intervals
    std::uint32_t lastStart_ = 0;
    DWORD foreground_ = 0;
    bool looked_ = false;
    bool newcomerInFront_ = false;  // a program not ours came to the foreground; not yet answered
    std::uint32_t inFrontSince_ = 0;
    bool paused_ = false;
    std::uint32_t pausedSince_ = 0;
};

}  // namespace ready
