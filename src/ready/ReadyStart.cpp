#include "ready/ReadyStart.h"

#include <algorithm>

namespace ready {
namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;
constexpr std::uint64_t kHighCpuMs = 1000, kMediumCpuMs = 300;
constexpr std::uint64_t kHighDiskBytes = 3 * kMegabyte, kMediumDiskBytes = 3 * kMegabyte / 10;
// A disk this busy serves the programs already running first.
constexpr double kDiskBusy = 0.5;
// Processor time that the sampler, the window and the counters' own noise
// take; a start fits when its expected load is within the spare plus this.
constexpr double kSlackProcessors = 0.1;
// A program that came to the foreground is waited for this long to get
// busy; after that it is one the person has been using all along.
constexpr std::uint32_t kNewcomerMs = 10000;

}  // namespace

Impact ImpactOf(const Usage& usage) {
    if (usage.cpuMs > kHighCpuMs || usage.diskBytes > kHighDiskBytes) return Impact::High;
    if (usage.cpuMs >= kMediumCpuMs || usage.diskBytes >= kMediumDiskBytes) return Impact::Medium;
    return Impact::Low;
}

int StartRank(Impact impact) {
    switch (impact) {
    case Impact::High: return 0;
    case Impact::Low: return 2;
    default: return 1;
    }
}

double ProcessorsExpected(Impact impact) {
    switch (impact) {
    case Impact::High: return 1.0;
    case Impact::Low: return 0.25;
    default: return 0.5;
    }
}

std::vector<std::size_t> StartingOrder(const std::vector<Impact>& impacts) {
    std::vector<std::size_t> order(impacts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return StartRank(impacts[a]) < StartRank(impacts[b]); });
    return order;
}

ReadyRule::ReadyRule(std::vector<Impact> impacts, unsigned processors, unsigned intervalMs)
    : impacts_(std::move(impacts)), processors_(std::max(1u, processors)), intervalMs_(std::max(1u, intervalMs)) {}

bool ReadyRule::Ours(DWORD processId) const {
    return std::find(ours_.begin(), ours_.end(), processId) != ours_.end();
}

bool ReadyRule::Done() const {
    return AllStarted() && !paused_ && (ours_.empty() || now_ - lastStart_ >= kFirstMinuteMs);
}

void ReadyRule::SeeForeground(DWORD processId) {
    // What was in front when the rule began is what the person was already using.
    if (!looked_) foreground_ = processId;
    looked_ = true;
    if (processId != foreground_ && processId != 0 && !Ours(processId)) {
        newcomerInFront_ = true;
        inFrontSince_ = now_;
    }
    foreground_ = processId;
    if (newcomerInFront_ && now_ - inFrontSince_ >= kNewcomerMs) newcomerInFront_ = false;
}

// Pausing is the question "is it the person's program that is busy?": while
// ours hold still, what is left of the load is the rest of the machine's.
bool ReadyRule::HoldStill(double spare) {
    if (paused_) {
        paused_ = spare < 1.0 && now_ - pausedSince_ < kLongestPauseMs;
    } else if (newcomerInFront_ && spare < 1.0 && !ours_.empty()) {
        paused_ = true;
        pausedSince_ = now_;
        newcomerInFront_ = false;  // answered: it pauses ours once
    }
    return paused_;
}

bool ReadyRule::HoldBack(const LoadSample& sample) const {
    const bool showing = started_ > 0 && now_ - lastStart_ < kStartShowsMs;
    const bool newcomer = inFrontSince_ != 0 && now_ - inFrontSince_ < kForegroundHoldMs;
    return paused_ || showing || newcomer || sample.sinceInputMs < kInputHoldMs || sample.disk >= kDiskBusy;
}

std::size_t ReadyRule::StartsThatFit(double spare) const {
    std::size_t fit = 0;
    double expected = 0;
    for (std::size_t next = started_; next < impacts_.size(); ++next) {
        expected += ProcessorsExpected(impacts_[next]);
        if (expected > spare + kSlackProcessors) break;
        ++fit;
    }
    return fit;
}

Step ReadyRule::Next(const LoadSample& sample) {
    now_ += intervalMs_;
    SeeForeground(sample.foreground);
    const double spare = processors_ * (1.0 - std::min(1.0, std::max(0.0, sample.cpu)));
    Step step;
    step.pause = HoldStill(spare);
    if (!HoldBack(sample)) step.starts = StartsThatFit(spare);
    if (step.starts > 0) {
        started_ += step.starts;
        lastStart_ = now_;
    }
    return step;
}

}  // namespace ready
