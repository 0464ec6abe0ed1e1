#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Starting "when the computer is ready": the held entries start one after the
// other, each once the machine has been idle long enough since the last start,
// the lightest first; the delay the user chose stays the deadline for all.
namespace ready {

// How busy the machine was over one sampling interval, from 0 to 1.
struct LoadSample {
    double cpu = 0;
    double disk = 0;
};

// Where the samples come from: the machine (SystemLoad) or a test's script.
class LoadSource {
public:
    virtual ~LoadSource() = default;
    // The load since the previous call (the first call: since the source was made).
    virtual LoadSample Sample() = 0;
};

// A machine counts as idle over an interval when both its processors and its
// disks were busy less than this share of it.
constexpr double kIdleBelow = 0.20;
constexpr unsigned kSampleIntervalMs = 500;
// Idle time, accumulated over any number of intervals, that earns the next start.
constexpr unsigned kIdleNeededMs = 2000;

// How many entries start together once the machine is ready: one on a machine
// of up to 4 logical processors, two above.
unsigned StartsAtOnce(unsigned logicalProcessors);

// How heavy a program was in its first minute, in Task Manager's classes.
enum class Impact { NotMeasured, Low, Medium, High };

struct Usage {
    std::uint64_t cpuMs = 0;      // user and kernel time
    std::uint64_t diskBytes = 0;  // read and written
};
// High: more than 1 s of CPU or 3 MB of disk; Medium: from 0.3 s or 0.3 MB;
// Low: below both (1 MB = 1,048,576 bytes).
Impact ImpactOf(const Usage& usage);
// The place of a class in the starting order: Low first, High last; an entry
// never measured goes with the Medium ones.
int StartRank(Impact impact);

// The entries to start in order of their classes, the list's order kept
// within a class: indexes into `impacts`.
std::vector<std::size_t> StartingOrder(const std::vector<Impact>& impacts);

// How many entries start now. Fed one sample per interval; the next ones
// start once enough idle time has accumulated since the last start. (The
// deadline is the countdown's: it starts whatever is left its own way.)
class ReadyQueue {
public:
    ReadyQueue(std::size_t entries, unsigned startsAtOnce);

    // How many entries start after this interval (0 when none).
    std::size_t Next(const LoadSample& sample);

    std::size_t Started() const { return started_; }
    bool Done() const { return started_ == total_; }

private:
    const std::size_t total_;
    const unsigned startsAtOnce_;
    std::size_t started_ = 0;
    unsigned idleMs_ = 0;
};

}  // namespace ready
