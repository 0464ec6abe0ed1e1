#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "FakeTaskScheduler.h"
#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "monitor/ChangeWatcher.h"
#include "monitor/TakeOverQuiet.h"
#include "registry/RegistryKeys.h"

namespace {

// The monitors over a test engine, declared after the sandbox; while `gate` is held no take-over begins.
struct RunningMonitors {
    explicit RunningMonitors(bool start = true) {
        if (start) watchers.Start();
    }
    ~RunningMonitors() { watchers.Stop(); }
    long TakeOvers() const { return watchers.ChangeCount(); }

    TestEngine engine;
    std::mutex gate;
    WatcherSet watchers{lists::WatchTargetsOf(engine.sources, ~0u), [this] {
                            const std::lock_guard<std::mutex> hold(gate);
                            engine.manager.TakeOver();
                        }};
};

// True once no monitor has begun a take-over for quietMs, within timeoutMs.
bool WaitForRest(const RunningMonitors& monitors, DWORD quietMs = 400, DWORD timeoutMs = 20000) {
    long seen = -1;
    ULONGLONG quietSince = 0;
    return WaitUntil([&] {
        if (monitors.TakeOvers() != seen) seen = monitors.TakeOvers(), quietSince = GetTickCount64();
        return GetTickCount64() - quietSince >= quietMs;
    }, timeoutMs);
}

bool InRun(HKEY hive, const char* name) { return RegistrySandbox::Get(hive, keys::kRun, name).has_value(); }

// Gone from the Run key and kept, exactly, in the BackUp key of the same hive only.
bool TakenOver(HKEY hive, const char* name, const RegValueBlob& value) {
    const auto kept = RegistrySandbox::Get(hive, keys::kBackUp, name);
    return !InRun(hive, name) && kept && *kept == value &&
           !RegistrySandbox::Get(hive == kUser ? kMachine : kUser, keys::kBackUp, name);
}

std::optional<Origin> ListedOrigin(RunningMonitors& monitors, const char* name) {
    for (const StartupEntry& entry : monitors.engine.List())
        if (U8(entry.name) == name) return entry.origin;
    return std::nullopt;
}

// Everything a take-over may change: both Run and BackUp keys ("hive key\\name"), and the list.
std::map<std::string, RegValueBlob> Snapshot(RunningMonitors& monitors) {
    std::map<std::string, RegValueBlob> image;
    for (HKEY hive : {kUser, kMachine})
        for (const std::string& key : {RegistrySandbox::KeyText(keys::kRun).Str(), RegistrySandbox::KeyText(keys::kBackUp).Str()})
            for (const std::string& name : RegistrySandbox::ValueNames(hive, key.c_str()))
                image[std::to_string(hive == kUser) + key + "\\" + name] = *RegistrySandbox::Get(hive, key.c_str(), name.c_str());
    int position = 0;
    for (const StartupEntry& entry : monitors.engine.List())
        image["list " + std::to_string(position++) + " " + U8(entry.name)] = RegistrySandbox::Dword(static_cast<DWORD>(entry.origin));
    return image;
}

TEST(Watchers, TakesOverNewcomersToEitherRunKeyButNeverItsOwnAndIgnoresOtherChanges) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;
    const RegValueBlob userApp = RegistrySandbox::Text("\"C:\\Program Files\\Chat\\chat.exe\" -tray");
    const RegValueBlob machineApp = RegistrySandbox::Text("%ProgramFiles%\\Sync\\sync.exe", REG_EXPAND_SZ);
    const RegValueBlob self = RegistrySandbox::Text("\"C:\\Program Files\\Quorvell Software\\Pacewick\\pacewick.exe\"");
    RegistrySandbox::Put(kUser, keys::kRun, "Chat", userApp);
    RegistrySandbox::Put(kMachine, keys::kRun, "Sync", machineApp);
    for (HKEY hive : {kMachine, kUser}) RegistrySandbox::Put(hive, keys::kRun, keys::kSelfValueName, self);

    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kUser, "Chat", userApp); }));
    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kMachine, "Sync", machineApp); }));
    // The take-overs wake the monitors again, and those cycles find nothing.
    ASSERT_TRUE(WaitForRest(monitors));
    EXPECT_EQ(Origin::CurrentUser, ListedOrigin(monitors, "Chat"));
    EXPECT_EQ(Origin::AllUsers, ListedOrigin(monitors, "Sync"));
    for (HKEY hive : {kMachine, kUser}) {
        EXPECT_FALSE(RegistrySandbox::Get(hive, keys::kBackUp, keys::kSelfValueName));
        EXPECT_EQ(self, RegistrySandbox::Get(hive, keys::kRun, keys::kSelfValueName));
    }
    EXPECT_EQ(std::nullopt, ListedOrigin(monitors, RegistrySandbox::KeyText(keys::kSelfValueName)));

    // Each change must wake a monitor and, but for the value it deletes itself, change nothing.
    auto check = [&](const char* what, auto change, const std::string& gone = "") {
        auto before = Snapshot(monitors);
        before.erase(gone);
        const long cycles = monitors.TakeOvers();
        change();
        EXPECT_TRUE(WaitUntil([&] { return monitors.TakeOvers() > cycles; })) << what << " woke no monitor";
        EXPECT_TRUE(WaitForRest(monitors)) << what;
        EXPECT_TRUE(before == Snapshot(monitors)) << what << " changed a Run or BackUp key or the list";
    };
    const std::string sub = RegistrySandbox::KeyText(keys::kRun).Str() + "\\Sub";
    check("a new subkey", [&] { RegistrySandbox::Create(kUser, sub.c_str()); });
    check("a value in a subkey", [&] { RegistrySandbox::PutText(kUser, sub.c_str(), "Nested", "C:\\N\\n.exe"); });
    check("a deleted subkey", [&] { RegistrySandbox::Remove(kUser, sub.c_str()); });
    for (HKEY hive : {kUser, kMachine}) {
        const std::string value = std::to_string(hive == kUser) + RegistrySandbox::KeyText(keys::kRun).Str() + "\\" +
                                  RegistrySandbox::KeyText(keys::kSelfValueName).Str();
        check(value.c_str(), [hive] { RegDeleteKeyValueW(hive, keys::kRun, keys::kSelfValueName); }, value);  // not compared
    }
}

// While the test holds the engine's lock a woken monitor's take-over cannot go on.
TEST(Watchers, ATakeOverUnderWaySeesLaterChangesAndTheCyclesComeToRest) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;  // stops them again should an assertion end the test early
    const long cycles = monitors.TakeOvers();
    {
        const std::lock_guard<std::mutex> hold(monitors.gate);
        RegistrySandbox::PutText(kUser, keys::kRun, "First", "C:\\First\\first.exe");
        ASSERT_TRUE(WaitUntil([&] { return monitors.TakeOvers() == cycles + 1; }));
        // The monitor is now inside its take-over: this change must not go unseen.
        RegistrySandbox::PutText(kUser, keys::kRun, "Second", "C:\\Second\\second.exe");
        Sleep(100);
    }
    EXPECT_TRUE(WaitUntil([&] { return monitors.TakeOvers() >= cycles + 2; }))
        << "the change made during the take-over caused no further cycle";
    ASSERT_TRUE(WaitForRest(monitors)) << "the cycles never came to rest";
    // That further cycle finds nothing new and wakes nobody: the cycles end there.
    EXPECT_EQ(cycles + 2, monitors.TakeOvers());
    EXPECT_FALSE(InRun(kUser, "First") || InRun(kUser, "Second"));
    EXPECT_TRUE(RegistrySandbox::Get(kUser, keys::kBackUp, "Second"));
}

// How long a value written into the user's Run key stays there, in ms.
double StayInRunMs(const char* name) {
    const ULONGLONG written = GetTickCount64();
    RegistrySandbox::PutText(kUser, keys::kRun, name, std::string("C:\\") + name + ".exe");
    WaitUntil([&] { return !InRun(kUser, name); }, 10000);
    return static_cast<double>(GetTickCount64() - written);
}

bool Listed(RunningMonitors& monitors, const char* name) { return ListedOrigin(monitors, name).has_value(); }

// A slow or silent Task Scheduler and slow launches hold up no take-over: the lock covers Run-key work only.
TEST(Watchers, NewcomersLeaveTheRunKeyWhileTheSchedulerOrALaunchIsSlow) {
    constexpr double kBoundMs = 250;
    RegistrySandbox sandbox;
    RunningMonitors monitors(false);
    takeover::StartupListModel& model = monitors.engine.model;
    fake_tasks::Scheduler world;
    world.tasks = {{L"Nightly"}};
    win::UniqueHandle answer(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    std::atomic<int> asked{0};
    struct Answer {  // however the test ends, the silent scheduler answers and is replaced
        HANDLE event;
        takeover::StartupListModel& model;
        ~Answer() {
            SetEvent(event);
            model.WaitForLogonTasks(10000);
            model.SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
        }
    } answerAtEnd{answer.Get(), model};
    model.SetTaskSchedulerFactory([&](ITaskScheduler** scheduler) {
        ++asked;
        WaitForSingleObject(answer.Get(), INFINITE);  // silent until the test lets it answer
        return fake_tasks::FactoryOf(world)(scheduler);
    });
    testing::internal::CaptureStdout();
    {
        monitors.watchers.Start();
        // A rebuild asks for the tasks and goes on without them.
        const ULONGLONG rebuilt = GetTickCount64();
        monitors.engine.manager.RebuildList();
        EXPECT_LT(GetTickCount64() - rebuilt, 2000u) << "the rebuild waited for the Task Scheduler";
        EXPECT_TRUE(WaitUntil([&] { return asked > 0; }));
        EXPECT_LT(StayInRunMs("First"), kBoundMs) << "waited for the Task Scheduler";
        EXPECT_LT(StayInRunMs("Second"), kBoundMs) << "waited for the Task Scheduler";
        EXPECT_TRUE(WaitUntil([&] { return Listed(monitors, "First") && Listed(monitors, "Second"); })) << "no list without the tasks";
        EXPECT_FALSE(Listed(monitors, "Nightly"));
        EXPECT_FALSE(model.WaitForLogonTasks(0));

        // Once it answers, the tasks join the list without another change.
        SetEvent(answer.Get());
        EXPECT_TRUE(model.WaitForLogonTasks(10000));
        EXPECT_TRUE(Listed(monitors, "Nightly") && Listed(monitors, "First") && Listed(monitors, "Second"));

        // A launcher that takes 3 s a program, started as "Run All" would.
        std::atomic<int> launched{0};
        const launch::Launcher slow(model, launch::Launcher::Starts{[&](const std::wstring&) {
                                Sleep(3000);
                                return ++launched, true;
                            }, nullptr});
        EntryList two;
        for (int i = 0; i < 2; ++i) two.InsertFront(StartupEntry{});
        std::thread runAll([&] { slow.LaunchAll(two); });
        Sleep(100);  // inside the first launch
        EXPECT_LT(StayInRunMs("Third"), kBoundMs) << "waited for a launch";
        EXPECT_EQ(0, launched.load()) << "the launches ended before the take-over could be timed";
        runAll.join();
        EXPECT_EQ(2, launched.load());
        monitors.watchers.Stop();
    }
    testing::internal::GetCapturedStdout();
}

// A start waits for a take-over and its quiet, only so long for a stream of them; a stop ends the wait.
TEST(TakeOverQuiet, AStartWaitsForATakeOverAndTheQuietAfterItWithinABound) {
    TakeOverQuiet quiet;
    const auto waited = [&quiet](const std::function<bool()>& stopped) {
        const ULONGLONG asked = GetTickCount64();
        quiet.Wait(stopped);
        return GetTickCount64() - asked;
    };
    std::atomic<bool> inTakeOver{false}, streaming{true};
    std::thread watcher([&] {
        quiet.During([&] {
            inTakeOver = true;
            Sleep(300);
        });
    });
    ASSERT_TRUE(WaitUntil([&] { return inTakeOver.load(); }));
    EXPECT_GE(waited(nullptr), 250 + TakeOverQuiet::kQuietMs) << "a start began during a take-over";
    watcher.join();
    std::atomic<int> streamed{0};
    std::thread stream([&] {
        while (streaming)
            quiet.During([&] {
                ++streamed;
                Sleep(20);
            });
    });
    ASSERT_TRUE(WaitUntil([&] { return streamed > 0; }));
    const ULONGLONG held = waited(nullptr);
    EXPECT_GE(held, TakeOverQuiet::kLongestWaitMs - 20);
    EXPECT_LT(held, TakeOverQuiet::kLongestWaitMs + 500) << "held back past its bound";
    EXPECT_LT(waited([] { return true; }), 100u) << "a stopped start still waited";
    streaming = false;
    stream.join();
}

TEST(Watchers, AStopThatRunsOutSaysSoAndTheTakeOverUnderWayStillFinishes) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;
    const RegValueBlob held = RegistrySandbox::Text("\"C:\\Held Up\\held.exe\" /min");
    bool stopped = true;
    std::string said;
    ULONGLONG took = 0;
    {
        const std::lock_guard<std::mutex> hold(monitors.gate);
        const long cycles = monitors.TakeOvers();
        RegistrySandbox::Put(kUser, keys::kRun, "HeldUp", held);
        ASSERT_TRUE(WaitUntil([&] { return monitors.TakeOvers() > cycles; }));
        // The monitor's take-over now waits for the lock this thread holds.
        testing::internal::CaptureStdout();
        const ULONGLONG asked = GetTickCount64();
        stopped = monitors.watchers.Stop(400);
        took = GetTickCount64() - asked;
        said = testing::internal::GetCapturedStdout();
    }
    EXPECT_FALSE(stopped) << "a stop that ran out claims the monitors ended";
    EXPECT_GE(took, 350u) << "the stop did not wait for the take-over under way";
    EXPECT_LT(took, 3000u) << "the stop did not keep to its bound";
    EXPECT_NE(std::string::npos, said.find("Run-key monitor did not stop in time\n")) << said;
    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kUser, "HeldUp", held); })) << "the take-over was cut off";
    EXPECT_TRUE(monitors.watchers.Stop(5000));

    const long cycles = monitors.TakeOvers();
    RegistrySandbox::PutText(kUser, keys::kRun, "AfterStop", "C:\\After\\after.exe");
    Sleep(500);
    EXPECT_EQ(cycles, monitors.TakeOvers()) << "a take-over began after the stop";
    EXPECT_TRUE(InRun(kUser, "AfterStop"));
}

// Two writers churn their own names in both Run keys under the monitors; each returns what it left.
using Written = std::map<std::string, std::pair<DWORD, std::string>>;
constexpr int kOperationsPerWriter = 1000;

Written WriteRunKeys(bool write, unsigned seed, const std::string& prefix) {
    win::UniqueKey run[2];
    if (write)
        for (HKEY hive : {kUser, kMachine})
            RegOpenKeyExW(hive, keys::kRun, 0, KEY_ALL_ACCESS, run[hive == kMachine].Put());
    auto next = [&seed] { return seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5; };  // xorshift32
    Written left;
    for (int serial = 0; serial < kOperationsPerWriter; ++serial) {
        if (write) Sleep(2);  // so that the monitors' take-overs fall between the operations
        const bool machine = next() % 2;
        const std::string name = prefix + (machine ? "-M-" : "-U-") + std::to_string(next() % 24);
        if (left.count(name) && next() % 10 < 3) {
            if (write) RegDeleteValueA(run[machine].Get(), name.c_str());
            left.erase(name);
            continue;
        }
        const DWORD type = next() % 2 ? REG_EXPAND_SZ : REG_SZ;
        const std::string data =
            (type == REG_SZ ? "C:\\Apps\\" : "%ProgramFiles%\\") + name + "\\run.exe/v" + std::to_string(serial);
        if (write) RegistrySandbox::Put(machine ? kMachine : kUser, keys::kRun, name.c_str(),
                                        RegistrySandbox::Text(data, type));
        left[name] = {type, data};
    }
    return left;
}

HKEY HiveOf(const std::string& name) { return name.find("-M-") != std::string::npos ? kMachine : kUser; }

// Meanwhile the window walks its copies of the list, as it does on each change.
TEST(WatchersStress, TwoWritersLoseAndAlterNothingWhileTheWindowReadsTheList) {
    RegistrySandbox sandbox;
    Written expected = WriteRunKeys(false, 77, "T");
    expected.merge(WriteRunKeys(false, 20240611, "P"));
    std::atomic<bool> written{false};
    std::atomic<int> walks{0}, badEntries{0};
    RunningMonitors monitors;
    testing::internal::CaptureStdout();  // thousands of diagnostic lines
    {
        std::thread first([] { WriteRunKeys(true, 77, "T"); }), second([] { WriteRunKeys(true, 20240611, "P"); });
        std::thread window([&] {
            for (; !written; ++walks)
                for (const StartupEntry& entry : monitors.engine.List())
                    badEntries += entry.name[0] == '\0' || entry.origin == Origin::Both || entry.command[0] == '\0';
        });
        first.join();
        second.join();
        written = true;
        window.join();
        WaitUntil([&] {
            for (const auto& value : expected)
                if (InRun(HiveOf(value.first), value.first.c_str())) return false;
            return true;
        }, 30000);
        EXPECT_TRUE(WaitForRest(monitors, 500, 30000));
        monitors.watchers.Stop();
    }
    testing::internal::GetCapturedStdout();

    int lost = 0, altered = 0, leftInRun = 0;
    for (const auto& [name, value] : expected) {
        const auto kept = RegistrySandbox::Get(HiveOf(name), keys::kBackUp, name.c_str());
        lost += !kept;
        altered += kept && *kept != RegistrySandbox::Text(value.second, value.first);
        leftInRun += InRun(HiveOf(name), name.c_str());
    }
    std::printf("Stress: %d operations by two writers, %zu values left by them checked: %d lost, %d altered, "
                "%d left in a Run key, %ld take-overs\n",
                2 * kOperationsPerWriter, expected.size(), lost, altered, leftInRun, monitors.TakeOvers());
    EXPECT_GT(expected.size(), 20u);
    EXPECT_EQ(0, lost + altered + leftInRun) << "see the counts printed above";
    EXPECT_EQ(0, badEntries.load()) << "the window read a half-made entry";
    EXPECT_GT(walks.load(), 0);
    // The list the take-overs leave is what the BackUp keys hold, each name once.
    std::set<std::string> listed, kept;
    for (const StartupEntry& entry : monitors.engine.List()) EXPECT_TRUE(listed.insert(U8(entry.name)).second);
    for (HKEY hive : {kUser, kMachine})
        for (const std::string& name : RegistrySandbox::ValueNames(hive, keys::kBackUp)) kept.insert(name);
    EXPECT_EQ(kept, listed);
}

}  // namespace
