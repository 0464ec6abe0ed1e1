// Starting when the computer is ready: the rule that decides when the next
// entry starts, driven by scripted load; the impact classes at their bounds;
// and the machine's own load as sampled.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/ReadyStart.h"
#include "engine/SystemLoad.h"

namespace {

using ready::Impact;
using ready::LoadSample;
using ready::ReadyQueue;

constexpr LoadSample kIdle{0.05, 0.05}, kBusy{0.90, 0.10}, kDiskBusy{0.05, 0.60}, kAtBound{0.20, 0.0};

// Feeds the script, one sample per interval, the deadline passing at interval
// `deadline`; the entries started after each interval, as text ("0001...").
std::string Drive(ReadyQueue& queue, const std::vector<LoadSample>& script, std::size_t deadline = SIZE_MAX) {
    std::string started;
    for (std::size_t i = 0; i < script.size(); ++i) started += std::to_string(queue.Next(script[i], i >= deadline));
    return started;
}

std::vector<LoadSample> Repeat(const LoadSample& sample, std::size_t times) {
    return std::vector<LoadSample>(times, sample);
}

TEST(ReadyStart, StartsTheNextEntryAfterTwoSecondsOfIdleAccumulated) {
    ReadyQueue idle(3, 1);
    EXPECT_EQ("000100010001000", Drive(idle, Repeat(kIdle, 15)));
    EXPECT_TRUE(idle.Done());

    ReadyQueue twoAtOnce(3, 2);  // a machine of more than 4 logical processors
    EXPECT_EQ("00020001", Drive(twoAtOnce, Repeat(kIdle, 8)));

    // Idle time accumulates across busy intervals: flapping load starts too, later.
    ReadyQueue flapping(2, 1);
    std::vector<LoadSample> flaps;
    for (int i = 0; i < 8; ++i) flaps.push_back(i % 2 ? kBusy : kIdle);
    EXPECT_EQ("00000010", Drive(flapping, flaps));

    // Busy disks alone hold the start back, and 20% is not under 20%.
    for (const LoadSample& notIdle : {kBusy, kDiskBusy, kAtBound}) {
        ReadyQueue queue(1, 1);
        EXPECT_EQ("000000", Drive(queue, Repeat(notIdle, 6)));
        EXPECT_EQ(0u, queue.Started());
    }
}

TEST(ReadyStart, TheDeadlineStartsEverythingLeftWhenTheMachineNeverSettles) {
    // The first program started never lets the machine settle again.
    std::vector<LoadSample> script = Repeat(kIdle, 4);
    for (const LoadSample& busy : Repeat(kBusy, 10)) script.push_back(busy);
    ReadyQueue queue(12, 1);
    EXPECT_EQ("00010000000000", Drive(queue, script));
    EXPECT_EQ(1u, queue.Started());
    EXPECT_EQ("11", Drive(queue, {kBusy}, 0));
    EXPECT_TRUE(queue.Done());
    EXPECT_EQ("00", Drive(queue, {kIdle, kBusy}, 0));  // nothing starts twice

    ReadyQueue none(0, 1);
    EXPECT_EQ("00", Drive(none, {kIdle, kIdle}, 1));
}

TEST(ReadyStart, ImpactClassesAtTheirBoundsAndTheStartingOrder) {
    constexpr std::uint64_t kMB = 1024 * 1024;
    const struct {
        std::uint64_t cpuMs, diskBytes;
        Impact expected;
    } cases[] = {
        {0, 0, Impact::Low},
        {299, 3 * kMB / 10 - 1, Impact::Low},
        {300, 0, Impact::Medium},
        {0, 3 * kMB / 10, Impact::Medium},
        {1000, 3 * kMB, Impact::Medium},
        {1001, 0, Impact::High},
        {0, 3 * kMB + 1, Impact::High},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.expected, ready::ImpactOf({c.cpuMs, c.diskBytes})) << c.cpuMs << " ms, " << c.diskBytes << " bytes";

    // Low first, High last, the unmeasured with the Medium ones; the list's order within a class.
    EXPECT_EQ((std::vector<std::size_t>{2, 4, 1, 3, 0}),
              ready::StartingOrder({Impact::High, Impact::NotMeasured, Impact::Low, Impact::Medium, Impact::Low}));
    EXPECT_EQ(1u, ready::StartsAtOnce(4));
    EXPECT_EQ(2u, ready::StartsAtOnce(5));
}

TEST(ReadyStart, TheMachinesOwnLoadShowsBusyProcessors) {
    ready::SystemLoad load;
    SYSTEM_INFO system{};
    GetSystemInfo(&system);
    std::atomic<bool> spin{true};
    std::vector<std::thread> spinners;
    load.Sample();
    for (DWORD i = 0; i < system.dwNumberOfProcessors; ++i)
        spinners.emplace_back([&spin] {
            while (spin) {
            }
        });
    Sleep(600);
    const LoadSample busy = load.Sample();
    spin = false;
    for (std::thread& spinner : spinners) spinner.join();
    EXPECT_GE(busy.cpu, 0.5);
    EXPECT_LE(busy.cpu, 1.0);
    EXPECT_GE(busy.disk, 0.0);
    EXPECT_LE(busy.disk, 1.0);
}

}  // namespace
