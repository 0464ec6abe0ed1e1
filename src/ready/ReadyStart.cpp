#include "ready/ReadyStart.h"

#include <algorithm>

namespace ready {
namespace {

constexpr std::uint64_t kMegabyte = 1024 * 1024;
constexpr std::uint64_t kHighCpuMs = 1000, kMediumCpuMs = 300;
constexpr std::uint64_t kHighDiskBytes = 3 * kMegabyte, kMediumDiskBytes = 3 * kMegabyte / 10;

}  // namespace

unsigned StartsAtOnce(unsigned logicalProcessors) { return logicalProcessors > 4 ? 2 : 1; }

Impact ImpactOf(const Usage& usage) {
    if (usage.cpuMs > kHighCpuMs || usage.diskBytes > kHighDiskBytes) return Impact::High;
    if (usage.cpuMs >= kMediumCpuMs || usage.diskBytes >= kMediumDiskBytes) return Impact::Medium;
    return Impact::Low;
}

int StartRank(Impact impact) {
    switch (impact) {
    case Impact::Low: return 0;
    case Impact::High: return 2;
    default: return 1;
    }
}

std::vector<std::size_t> StartingOrder(const std::vector<Impact>& impacts) {
    std::vector<std::size_t> order(impacts.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return StartRank(impacts[a]) < StartRank(impacts[b]); });
    return order;
}

ReadyQueue::ReadyQueue(std::size_t entries, unsigned startsAtOnce)
    : total_(entries), startsAtOnce_(std::max(1u, startsAtOnce)) {}

std::size_t ReadyQueue::Next(const LoadSample& sample) {
    const std::size_t left = total_ - started_;
    if (left == 0) return 0;
    if (sample.cpu < kIdleBelow && sample.disk < kIdleBelow) idleMs_ += kSampleIntervalMs;
    if (idleMs_ < kIdleNeededMs) return 0;
    // What the starts cost shows in the next samples, as any other load.
    idleMs_ = 0;
    const std::size_t now = std::min<std::size_t>(left, startsAtOnce_);
    started_ += now;
    return now;
}

}  // namespace ready
