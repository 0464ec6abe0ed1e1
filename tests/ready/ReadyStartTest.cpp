// Ready start: the rule for the next start under scripted load, the impact classes' bounds, the sampled load.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "ready/FirstMinute.h"
#include "ready/ImpactStore.h"
#include "ready/ReadyStart.h"
#include "ready/SystemLoad.h"
#include "registry/RegistryKeys.h"

namespace {

using ready::Impact;
using ready::LoadSample;
using ready::ReadyQueue;

constexpr LoadSample kIdle{0.05, 0.05}, kBusy{0.90, 0.10}, kDiskBusy{0.05, 0.60}, kAtBound{0.20, 0.0};

// Feeds the script, one sample per interval; the entries started after each interval as text ("0001...").
std::string Drive(ReadyQueue& queue, const std::vector<LoadSample>& script) {
    std::string started;
    for (const LoadSample& sample : script) started += std::to_string(queue.Next(sample));
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

TEST(ReadyStart, AMachineThatNeverSettlesStartsNothingMoreAndNothingStartsTwice) {
    // The first start never lets the machine settle: the rest wait for the countdown's end.
    std::vector<LoadSample> script = Repeat(kIdle, 4);
    for (const LoadSample& busy : Repeat(kBusy, 10)) script.push_back(busy);
    ReadyQueue queue(12, 1);
    EXPECT_EQ("00010000000000", Drive(queue, script));
    EXPECT_EQ(1u, queue.Started());

    ReadyQueue two(2, 2), none(0, 1);
    EXPECT_EQ("000200000000", Drive(two, Repeat(kIdle, 12)));
    EXPECT_EQ("0000", Drive(none, Repeat(kIdle, 4)));
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

TEST(ReadyStart, AProgramRunsBelowNormalForItsFirstMinuteThenAsItChoseAndIsMeasured) {
    HANDLE thread = nullptr;
    win::UniqueHandle program = StartProgram(W(LaunchLog::Command("first-minute")), CREATE_SUSPENDED, &thread);
    ASSERT_TRUE(program);
    const win::UniqueHandle threadOwner(thread);
    std::mutex mutex;
    std::vector<std::string> events;  // what happened, in order
    const auto record = [&](const std::string& what) {
        const std::lock_guard<std::mutex> lock(mutex);
        events.push_back(what);
    };
    {
        // The priorities recorded: Wine keeps the class but may refuse memory priority (its answer not asserted).
        ready::FirstMinute watch(
            [&](const std::wstring& name, const ready::Usage&) { record("measured " + U8(name)); },
            std::chrono::milliseconds(400), [&](HANDLE process, bool lowered) {
                ready::FirstMinute::SetPriority(process, lowered);
                record((lowered ? "lowered " : "given back ") + std::to_string(GetPriorityClass(process)));
                return true;
            });
        HANDLE copy = nullptr;
        DuplicateHandle(GetCurrentProcess(), program.Get(), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        watch.Watch(L"Tool", win::UniqueHandle(copy));
        EXPECT_EQ(static_cast<DWORD>(BELOW_NORMAL_PRIORITY_CLASS), GetPriorityClass(program.Get()));
        WaitUntil(
            [&] {
                const std::lock_guard<std::mutex> lock(mutex);
                return events.size() == 3;
            },
            5000);

        // Still in its minute when Pacewick ends: priority back, unmeasured; one that chose its own keeps it.
        DuplicateHandle(GetCurrentProcess(), program.Get(), GetCurrentProcess(), &copy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
        watch.Watch(L"Idle chooser", win::UniqueHandle(copy));
        SetPriorityClass(program.Get(), IDLE_PRIORITY_CLASS);
    }
    const std::string below = std::to_string(BELOW_NORMAL_PRIORITY_CLASS);
    EXPECT_EQ((std::vector<std::string>{"lowered " + below, "given back " + std::to_string(NORMAL_PRIORITY_CLASS),
                                        "measured Tool", "lowered " + below,
                                        "given back " + std::to_string(IDLE_PRIORITY_CLASS)}),
              events);

    TerminateProcess(program.Get(), 0);

    // The processor time a process used, in ms (Wine counts no I/O bytes).
    ready::Usage before, after;
    ASSERT_TRUE(ready::FirstMinute::UsageOf(GetCurrentProcess(), &before));
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 300) {
    }
    ASSERT_TRUE(ready::FirstMinute::UsageOf(GetCurrentProcess(), &after));
    const DWORD elapsed = GetTickCount() - start;
    // One thread spun: some of that time, never more (other programs share the processors).
    EXPECT_GE(after.cpuMs - before.cpuMs, 50u);
    EXPECT_LE(after.cpuMs - before.cpuMs, elapsed + 100u);
}

// One entry's class, as the list reads it.
Impact ImpactOfName(const ready::ImpactStore& store, const char* name) {
    EntryList list;
    StartupEntry entry;
    entry.name = W(name);
    list.InsertFront(entry);
    return store.ReadAll(list).at(0);
}

TEST(ReadyStart, ImpactsAreKeptPerEntryAndOnlyTheirOwnShapeIsRead) {
    RegistrySandbox sandbox;
    const ready::ImpactStore store;
    EXPECT_EQ(Impact::NotMeasured, ImpactOfName(store, "Tool"));
    ASSERT_TRUE(store.Write(L"Tool", {1500, 0}));
    ASSERT_TRUE(store.Write(W("Météo 天気"), {0, 1024}));
    EXPECT_EQ(Impact::High, ImpactOfName(store, "Tool"));
    EXPECT_EQ(Impact::Low, ImpactOfName(store, "Météo 天気"));
    ASSERT_TRUE(store.Write(L"Tool", {400, 0}));  // measured again: the last minute counts
    EXPECT_EQ(Impact::Medium, ImpactOfName(store, "Tool"));
    // Written by anyone else: a text, 15 or 17 bytes; none of them is a measure.
    const char bytes[17] = "0123456789abcdef";
    RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kImpact, "Text", RegValueBlob(REG_SZ, bytes, 16));
    RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kImpact, "Short", RegValueBlob(REG_BINARY, bytes, 15));
    RegistrySandbox::Put(HKEY_CURRENT_USER, keys::kImpact, "Long", RegValueBlob(REG_BINARY, bytes, 17));
    for (const char* name : {"Text", "Short", "Long"}) EXPECT_EQ(Impact::NotMeasured, ImpactOfName(store, name)) << name;

    // The list's classes at once, in its order, names matched case aside as the registry does.
    EntryList list;
    for (const char* name : {"Long", "MÉTÉO 天気", "Never", "tOOL"}) {
        StartupEntry entry;
        entry.name = W(name);
        list.InsertFront(entry);
    }
    EXPECT_EQ((std::vector<Impact>{Impact::Medium, Impact::NotMeasured, Impact::Low, Impact::NotMeasured}),
              store.ReadAll(list));
}

}  // namespace
