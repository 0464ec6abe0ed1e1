// The ready-start thread: heaviest first, each once, its programs paused for the person's, the countdown takes the rest, Exit finishes the start in hand.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "TestHelpers.h"
#include "ready/FirstMinute.h"
#include "ready/ReadyStarter.h"

namespace {

using namespace std::chrono_literals;
using ready::Impact;
using ready::LoadSample;

class ScriptedLoad : public ready::LoadSource {
public:
    explicit ScriptedLoad(LoadSample sample) : sample_(sample) {}
    LoadSample Sample() override { return sample_; }

private:
    const LoadSample sample_;
};

// What the hooks saw, in order: "start NAME", "progress N/M", "first minute NAME".
struct Seen {
    std::mutex mutex;
    std::vector<std::string> events;
    DWORD startTakesMs = 0;

    void Add(const std::string& event) {
        const std::lock_guard<std::mutex> lock(mutex);
        events.push_back(event);
    }
    std::vector<std::string> Copy() {
        const std::lock_guard<std::mutex> lock(mutex);
        return events;
    }
    ready::ReadyStarter::Hooks Hooks() {
        return {[this](const StartupEntry& entry, win::UniqueHandle* process) {
                    // The shell's and the Task Scheduler's starts need COM on this thread.
                    APTTYPE type;
                    APTTYPEQUALIFIER qualifier;
                    const bool com = CoGetApartmentType(&type, &qualifier) == S_OK;
                    Add(std::string(com ? "start " : "start without COM ") + U8(entry.name));
                    Sleep(startTakesMs);
                    // Only the command's way gives a process: here, the entry named "Own".
                    if (entry.name == L"Own")
                        DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), process->Put(),
                                        0, FALSE, DUPLICATE_SAME_ACCESS);
                    return entry.name != L"Light";  // its program cannot start
                },
                [this](std::size_t started, std::size_t total) {
                    Add("progress " + std::to_string(started) + "/" + std::to_string(total));
                },
                [this](const StartupEntry& entry, bool started) {
                    Add((started ? "started " : "failed ") + U8(entry.name));
                },
                [this](const StartupEntry& entry, win::UniqueHandle) { Add("first minute " + U8(entry.name)); }};
    }
};

EntryList Entries(const std::vector<std::pair<const char*, Origin>>& named) {
    EntryList list;
    for (auto it = named.rbegin(); it != named.rend(); ++it) {
        StartupEntry entry;
        entry.name = W(it->first);
        entry.origin = it->second;
        list.InsertFront(entry);
    }
    return list;
}

const LoadSample kIdle{0.01, 0.0}, kBusy{0.95, 0.0};

TEST(ReadyStarter, StartsTheHeaviestFirstEachOnceAndLeavesTheTasksAlone) {
    const EntryList entries = Entries({{"Heavy", Origin::AllUsers},
                                       {"Task", Origin::TaskScheduler},
                                       {"Own", Origin::CurrentUser},
                                       {"Light", Origin::UserFolder}});
    ScriptedLoad idle(kIdle);
    Seen seen;
    {
        // One processor: the heavy one alone, then the two others at once.
        ready::ReadyStarter starter(entries, {Impact::High, Impact::Low, Impact::NotMeasured, Impact::Low}, idle,
                                    seen.Hooks(), 1, 5ms);
        EXPECT_EQ(3u, starter.Order().Count());
        WaitUntil([&] { return seen.Copy().size() >= 10; }, 5000);
        Sleep(100);  // a second start would show by now
    }
    EXPECT_EQ((std::vector<std::string>{"start Heavy", "started Heavy", "progress 1/3", "start Own", "started Own",
                                        "first minute Own", "progress 2/3", "start Light", "failed Light",
                                        "progress 3/3"}),
              seen.Copy());
}

// The names of the entries not started once the starter stopped, in order.
std::vector<std::string> NotStarted(ready::ReadyStarter& starter) {
    const std::size_t started = starter.Stop();
    std::vector<std::string> names;
    for (std::size_t i = started; i < starter.Order().Count(); ++i) names.push_back(U8(starter.Order()[i].name));
    return names;
}

TEST(ReadyStarter, TheCountdownsEndTakesWhatABusyMachineHeldBackAndExitStopsAfterTheStartInHand) {
    const EntryList entries =
        Entries({{"One", Origin::CurrentUser}, {"Two", Origin::CurrentUser}, {"Three", Origin::AllUsers}});
    ScriptedLoad busy(kBusy), idle(kIdle);
    Seen seen;
    {
        ready::ReadyStarter starter(entries, {}, busy, seen.Hooks(), 1, 5ms);
        Sleep(200);
        EXPECT_TRUE(seen.Copy().empty());  // 40 busy intervals: nothing started
        EXPECT_EQ((std::vector<std::string>{"One", "Two", "Three"}), NotStarted(starter));
        EXPECT_EQ(0u, starter.Stop());  // stopped once, nothing starts afterwards
    }
    EXPECT_TRUE(seen.Copy().empty());

    // Stopped mid-start: that one ends, no other begins, the rest is what did not start.
    Seen stopped;
    stopped.startTakesMs = 200;
    ready::ReadyStarter starter(entries, {}, idle, stopped.Hooks(), 1, 5ms);
    WaitUntil([&] { return !stopped.Copy().empty(); }, 5000);
    EXPECT_EQ((std::vector<std::string>{"Two", "Three"}), NotStarted(starter));
    EXPECT_EQ((std::vector<std::string>{"start One", "started One", "progress 1/3"}), stopped.Copy());
}

// Idle until the person arrives: then a program the starter did not start is in front, the machine full.
struct PersonArrives : public ready::LoadSource {
    LoadSample Sample() override {
        LoadSample sample = arrived ? kBusy : kIdle;
        sample.foreground = arrived ? 4242 : 0;
        return sample;
    }
    std::atomic<bool> arrived{false};
};

// The processor time a program used in `ms` from now.
std::uint64_t CpuMsOver(HANDLE process, DWORD ms) {
    ready::Usage before, after;
    ready::FirstMinute::UsageOf(process, &before);
    Sleep(ms);
    ready::FirstMinute::UsageOf(process, &after);
    return after.cpuMs - before.cpuMs;
}

TEST(ReadyStarter, ItsProgramsHoldStillWhileThePersonsProgramIsBusyAndGoOnOnceItStops) {
    LaunchLog log;
    win::UniqueHandle spinner;
    ready::ReadyStarter::Hooks hooks{[&](const StartupEntry&, win::UniqueHandle* process) {
                                         spinner = StartProgram(W(LaunchLog::Command("heavy --spin")));
                                         return DuplicateHandle(GetCurrentProcess(), spinner.Get(), GetCurrentProcess(),
                                                                process->Put(), 0, FALSE, DUPLICATE_SAME_ACCESS) != FALSE;
                                     },
                                     nullptr, nullptr, nullptr};
    PersonArrives load;
    ready::ReadyStarter starter(Entries({{"Heavy", Origin::CurrentUser}}), {Impact::High}, load, std::move(hooks), 2,
                                5ms);
    ASSERT_EQ(1u, log.WaitFor(1).size());  // it runs
    load.arrived = true;
    Sleep(100);  // the next interval pauses it
    EXPECT_LT(CpuMsOver(spinner.Get(), 600), 40u) << "paused";
    EXPECT_EQ(1u, starter.Stop());
    EXPECT_GT(CpuMsOver(spinner.Get(), 600), 100u) << "going on after the stop";
    TerminateProcess(spinner.Get(), 0);
}

}  // namespace
