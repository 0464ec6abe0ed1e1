// Ready start: the rule under scripted load and input, the impact classes' bounds, the sampled load.
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
using ready::ReadyRule;

constexpr DWORD kOurs = 100, kPersons = 200, kOther = 300;
constexpr LoadSample kIdle{0.05, 0.05}, kHalf{0.5, 0.0}, kFull{0.98, 0.0}, kDiskBusy{0.05, 0.60};

LoadSample With(LoadSample sample, DWORD foreground, std::uint32_t sinceInputMs = UINT32_MAX) {
    sample.foreground = foreground;
    sample.sinceInputMs = sinceInputMs;
    return sample;
}

std::vector<LoadSample> Repeat(const LoadSample& sample, std::size_t times) {
    return std::vector<LoadSample>(times, sample);
}
std::vector<LoadSample> operator+(std::vector<LoadSample> first, const std::vector<LoadSample>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// Feeds the script, one sample per 100 ms interval; what the rule asked for after each, as text:
// a digit for the entries started, "p" for an interval the started programs are paused, "." for neither.
std::string Drive(ReadyRule& rule, const std::vector<LoadSample>& script) {
    std::string steps;
    for (const LoadSample& sample : script) {
        const ready::Step step = rule.Next(sample);
        steps += step.starts > 0 ? static_cast<char>('0' + step.starts) : step.pause ? 'p' : '.';
    }
    return steps;
}

const std::vector<Impact> kTwelve = {Impact::High, Impact::High, Impact::High, Impact::High,
                                     Impact::Medium, Impact::Medium, Impact::Medium, Impact::NotMeasured,
                                     Impact::Low, Impact::Low, Impact::Low, Impact::Low};

TEST(ReadyRule, StartsWhatFitsTheSpareProcessorsAndLetsEachStartShowFirst) {
    // Two processors idle: two heavy ones at once, then nothing fits until they are done.
    ReadyRule two(kTwelve, 2);
    EXPECT_EQ("2" + std::string(9, '.'), Drive(two, Repeat(kIdle, 1) + Repeat(kFull, 9)));
    // Once room shows again, each start waits 500 ms to show before the next is weighed: two heavy
    // ones, then the four medium-sized (or unmeasured) ones, then the four light ones.
    EXPECT_EQ("2....4....4", Drive(two, Repeat(kIdle, 11)));
    EXPECT_TRUE(two.AllStarted());
    EXPECT_EQ(12u, two.StartedCount());
    EXPECT_EQ(std::string(20, '.'), Drive(two, Repeat(kIdle, 20)));  // each once

    // Eight processors half busy: four processors spare, four heavy ones; then the rest at once.
    ReadyRule eight(kTwelve, 8);
    EXPECT_EQ("4....8", Drive(eight, Repeat(kHalf, 1) + Repeat(kIdle, 5)));
    // A full machine starts nothing, not even a light one behind a heavy one; busy disks hold back too.
    for (const LoadSample& busy : {kFull, kDiskBusy}) {
        ReadyRule held({Impact::High, Impact::Low}, 8);
        EXPECT_EQ(std::string(30, '.'), Drive(held, Repeat(busy, 30)));
        EXPECT_EQ(0u, held.StartedCount());
    }
    ReadyRule none({}, 2);
    EXPECT_TRUE(none.Done());
}

TEST(ReadyRule, HoldsBackWhileThePersonTypesAndWhenAProgramComesToTheFront) {
    // Input within the last 2 s holds every start; the first start comes once the typing stopped.
    ReadyRule typing({Impact::Low, Impact::Low}, 2);
    EXPECT_EQ(std::string(10, '.') + "2",
              Drive(typing, Repeat(With(kIdle, 0, 300), 10) + Repeat(With(kIdle, 0, 2000), 1)));

    // What is in front at the start is the person's already; a program coming to the front holds for 2 s.
    ReadyRule front({Impact::Low, Impact::Low}, 2);
    EXPECT_EQ("." + std::string(20, '.') + "2",
              Drive(front, Repeat(With(kFull, kOther), 1) + Repeat(With(kIdle, kPersons), 21)));
    // One of its own programs coming to the front holds nothing.
    ReadyRule own({Impact::Low, Impact::Low, Impact::Low}, 2);
    own.NoteOwnProcess(kOurs);
    EXPECT_EQ("3", Drive(own, Repeat(With(kIdle, kOurs), 1)));
}

TEST(ReadyRule, PausesItsProgramsWhileThePersonsNewProgramIsBusyAndNeverLongerThanFiveSeconds) {
    // The two heavy ones started; the person opens a program while they fill the machine.
    ReadyRule rule({Impact::High, Impact::High, Impact::Low}, 2);
    EXPECT_EQ("2", Drive(rule, {With(kIdle, kOther)}));
    rule.NoteOwnProcess(kOurs);
    // Full with ours paused: the person's program is the busy one; it goes on until it is not.
    EXPECT_EQ("ppppp", Drive(rule, Repeat(With(kFull, kPersons), 5)));
    // Spare again with ours still: they go on, and nothing new starts for 2 s after it came to the front.
    EXPECT_EQ(std::string(15, '.') + "1", Drive(rule, Repeat(With(kIdle, kPersons), 16)));
    // The same program busy again later pauses nothing: it is the one the person uses all along.
    EXPECT_EQ(std::string(5, '.'), Drive(rule, Repeat(With(kFull, kPersons), 5)));

    // A program that never settles in front: at most 5 s paused, then ours run; a newcomer may pause them again.
    ReadyRule never({Impact::High}, 2);
    EXPECT_EQ("1", Drive(never, {kIdle}));
    never.NoteOwnProcess(kOurs);
    EXPECT_EQ(std::string(50, 'p') + std::string(30, '.'), Drive(never, Repeat(With(kFull, kPersons), 80)));
    EXPECT_EQ("p", Drive(never, {With(kFull, kOther)}));
    EXPECT_FALSE(never.Done());

    // Nothing of its own to pause (a start through the shell gives no process): no pause.
    ReadyRule shell({Impact::High}, 2);
    EXPECT_EQ("1" + std::string(5, '.'), Drive(shell, Repeat(kIdle, 1) + Repeat(With(kFull, kPersons), 5)));
    // Done when all started and the last one's first minute is over, not paused.
    EXPECT_TRUE(shell.Done());
    // Its start at 0.1 s, 8.2 s now: the minute ends at 60.1 s.
    EXPECT_EQ(std::string(518, '.'), Drive(never, Repeat(kIdle, 518)));
    EXPECT_FALSE(never.Done());
    Drive(never, Repeat(kIdle, 1));
    EXPECT_TRUE(never.Done());
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

    // High first, Low last, the unmeasured with the Medium ones; the list's order within a class.
    EXPECT_EQ((std::vector<std::size_t>{0, 1, 3, 2, 4}),
              ready::StartingOrder({Impact::High, Impact::NotMeasured, Impact::Low, Impact::Medium, Impact::Low}));
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
