#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "MonitorTestSupport.h"
#include "RegistrySandbox.h"
#include "engine/StartupManager.h"
#include "monitor/RunKeyMonitor.h"
#include "registry/RegistryKeys.h"

using monitor_test::RunningMonitors;
using monitor_test::StdoutRedirect;
using monitor_test::WaitForRest;
using monitor_test::WaitUntil;

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;

bool InRun(HKEY hive, const char* name) { return RegistrySandbox::Get(hive, keys::kRun, name).has_value(); }

// Gone from the Run key and kept, exactly, in the BackUp key of the same hive.
bool TakenOver(HKEY hive, const char* name, const RegValueBlob& value) {
    const auto kept = RegistrySandbox::Get(hive, keys::kBackUp, name);
    return !InRun(hive, name) && kept && *kept == value;
}

std::string ListedOrigin(const char* name) {
    for (const StartupEntry& entry : CStartupManager::GetInstance()->CopyList())
        if (std::strcmp(entry.name, name) == 0) return entry.origin;
    return "";
}

using KeyImage = std::map<std::string, RegValueBlob>;

KeyImage ImageOf(HKEY hive, const char* path) {
    KeyImage image;
    for (const std::string& name : RegistrySandbox::ValueNames(hive, path))
        image[name] = *RegistrySandbox::Get(hive, path, name.c_str());
    return image;
}

using ListImage = std::vector<std::pair<std::string, std::string>>;  // name, origin, in list order

ListImage ListOf() {
    ListImage image;
    for (const StartupEntry& entry : CStartupManager::GetInstance()->CopyList()) image.emplace_back(entry.name, entry.origin);
    return image;
}

struct Snapshot {
    KeyImage userRun, machineRun, userBackUp, machineBackUp;
    ListImage list;
    bool operator==(const Snapshot& other) const {
        return userRun == other.userRun && machineRun == other.machineRun && userBackUp == other.userBackUp &&
               machineBackUp == other.machineBackUp && list == other.list;
    }
};

Snapshot TakeSnapshot() {
    return {ImageOf(kUser, keys::kRun), ImageOf(kMachine, keys::kRun), ImageOf(kUser, keys::kBackUp),
            ImageOf(kMachine, keys::kBackUp), ListOf()};
}

std::size_t CountOf(const std::string& text, const std::string& line) {
    std::size_t count = 0;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + line.size())) ++count;
    return count;
}

// Waits until a change of the key wakes a monitor and everything is quiet again.
// The change may delete one Run value (deletedHive, deletedName); nothing else may change.
void ExpectWakesAndChangesNothing(const char* what, void (*change)(), HKEY deletedHive = nullptr,
                                  const char* deletedName = "") {
    Snapshot before = TakeSnapshot();
    if (deletedHive) (deletedHive == kUser ? before.userRun : before.machineRun).erase(deletedName);
    const long cycles = RunKeyTakeOverCount();
    change();
    EXPECT_TRUE(WaitUntil([&] { return RunKeyTakeOverCount() > cycles; })) << what << " woke no monitor";
    ASSERT_TRUE(WaitForRest()) << what;
    EXPECT_TRUE(before == TakeSnapshot()) << what << " changed a Run or BackUp key";
}

TEST(RunKeyMonitor, TakesOverValuesAddedToEitherRunKeyButNeverItsOwn) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;
    const RegValueBlob userApp = RegistrySandbox::Text("\"C:\\Program Files\\Chat\\chat.exe\" -tray");
    const RegValueBlob machineApp = RegistrySandbox::Text("%ProgramFiles%\\Sync\\sync.exe", REG_EXPAND_SZ);
    const RegValueBlob self = RegistrySandbox::Text("\"C:\\Program Files\\Quorvell Software\\Pacewick\\pacewick.exe\"");

    RegistrySandbox::Put(kUser, keys::kRun, "Chat", userApp);
    RegistrySandbox::Put(kMachine, keys::kRun, "Sync", machineApp);
    RegistrySandbox::Put(kMachine, keys::kRun, keys::kSelfValueName, self);

    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kUser, "Chat", userApp); }));
    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kMachine, "Sync", machineApp); }));
    // The take-overs wake the monitors again, and those cycles find nothing.
    ASSERT_TRUE(WaitForRest());

    EXPECT_EQ("Current user start-up list", ListedOrigin("Chat"));
    EXPECT_EQ("all user start-up list", ListedOrigin("Sync"));
    EXPECT_FALSE(RegistrySandbox::Get(kUser, keys::kBackUp, "Sync")) << "backed up into the wrong hive";
    EXPECT_FALSE(RegistrySandbox::Get(kMachine, keys::kBackUp, "Chat")) << "backed up into the wrong hive";
    EXPECT_FALSE(RegistrySandbox::Get(kMachine, keys::kBackUp, keys::kSelfValueName));
    EXPECT_EQ(self, RegistrySandbox::Get(kMachine, keys::kRun, keys::kSelfValueName));
    EXPECT_EQ("", ListedOrigin(keys::kSelfValueName));
}

TEST(RunKeyMonitor, DeletionsAndSubkeyChangesWakeItAndChangeNothing) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;
    // Values that stay in the Run keys: the program's own, in either hive.
    RegistrySandbox::PutText(kMachine, keys::kRun, keys::kSelfValueName, "\"C:\\P\\pacewick.exe\"");
    RegistrySandbox::PutText(kUser, keys::kRun, keys::kSelfValueName, "\"C:\\P\\pacewick.exe\"");
    RegistrySandbox::PutText(kUser, keys::kRun, "Earlier", "C:\\Earlier\\earlier.exe");
    ASSERT_TRUE(WaitUntil([] { return !InRun(kUser, "Earlier"); }));
    ASSERT_TRUE(WaitForRest());

    static const std::string sub = std::string(keys::kRun) + "\\Sub";
    ExpectWakesAndChangesNothing("a new subkey", [] { RegistrySandbox::Create(kUser, sub.c_str()); });
    ExpectWakesAndChangesNothing("a value in a subkey", [] {
        RegistrySandbox::PutText(kUser, sub.c_str(), "Nested", "C:\\Nested\\nested.exe");
    });
    ExpectWakesAndChangesNothing("a deleted subkey", [] { RegistrySandbox::Remove(kUser, sub.c_str()); });
    ExpectWakesAndChangesNothing("a deleted user value", [] {
        win::UniqueKey run;
        RegOpenKeyExA(kUser, keys::kRun, 0, KEY_ALL_ACCESS, run.Put());
        RegDeleteValueA(run.Get(), keys::kSelfValueName);
    }, kUser, keys::kSelfValueName);
    ExpectWakesAndChangesNothing("a deleted machine value", [] {
        win::UniqueKey run;
        RegOpenKeyExA(kMachine, keys::kRun, 0, KEY_ALL_ACCESS, run.Put());
        RegDeleteValueA(run.Get(), keys::kSelfValueName);
    }, kMachine, keys::kSelfValueName);
    EXPECT_EQ("Current user start-up list", ListedOrigin("Earlier"));
}

TEST(RunKeyMonitor, WithoutMachineRunKeyTheCurrentUsersMonitorStillWorks) {
    RegistrySandbox::Keys keys;
    keys.machineRun = false;
    RegistrySandbox sandbox(keys);
    // Start returns once each monitor has armed or ended: the machine one ends at once.
    const ULONGLONG started = GetTickCount64();
    RunningMonitors monitors;
    EXPECT_LT(GetTickCount64() - started, 3000u);

    // A machine Run key made afterwards is watched by nobody ...
    RegistrySandbox::Create(kMachine, keys::kRun);
    const RegValueBlob machineApp = RegistrySandbox::Text("C:\\M\\m.exe");
    const long cycles = RunKeyTakeOverCount();
    RegistrySandbox::Put(kMachine, keys::kRun, "MachineApp", machineApp);
    Sleep(500);
    EXPECT_EQ(cycles, RunKeyTakeOverCount());
    EXPECT_TRUE(InRun(kMachine, "MachineApp"));

    // ... while the current user's monitor works, and its take-over covers both keys.
    const RegValueBlob userApp = RegistrySandbox::Text("C:\\U\\u.exe /q");
    RegistrySandbox::Put(kUser, keys::kRun, "UserApp", userApp);
    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kUser, "UserApp", userApp); }));
    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kMachine, "MachineApp", machineApp); }));
}

TEST(RunKeyMonitor, StopWaitsForATakeOverUnderWayAndNoneRunsAfterIt) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;  // stops them again should an assertion end the test early
    CStartupManager* manager = CStartupManager::GetInstance();
    const RegValueBlob held = RegistrySandbox::Text("C:\\Held\\held.exe");
    std::atomic<bool> stopped{false};
    std::thread stopper;
    {
        // While the test holds the engine's lock a woken monitor's take-over cannot go on.
        auto lock = manager->Lock();
        const long cycles = RunKeyTakeOverCount();
        RegistrySandbox::Put(kUser, keys::kRun, "Held", held);
        ASSERT_TRUE(WaitUntil([&] { return RunKeyTakeOverCount() > cycles; }));
        stopper = std::thread([&] {
            StopRunKeyMonitors();
            stopped = true;
        });
        Sleep(300);
        EXPECT_FALSE(stopped.load()) << "the stop did not wait for the take-over under way";
        EXPECT_TRUE(InRun(kUser, "Held"));
    }
    stopper.join();
    EXPECT_TRUE(TakenOver(kUser, "Held", held)) << "the take-over was cut off";

    const long cycles = RunKeyTakeOverCount();
    RegistrySandbox::PutText(kUser, keys::kRun, "LateUser", "C:\\Late\\user.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, "LateMachine", "C:\\Late\\machine.exe");
    Sleep(500);
    EXPECT_EQ(cycles, RunKeyTakeOverCount());
    EXPECT_TRUE(InRun(kUser, "LateUser"));
    EXPECT_TRUE(InRun(kMachine, "LateMachine"));
    EXPECT_FALSE(RegistrySandbox::Get(kUser, keys::kBackUp, "LateUser"));
    EXPECT_FALSE(RegistrySandbox::Get(kMachine, keys::kBackUp, "LateMachine"));
}

TEST(RunKeyMonitor, AChangeDuringATakeOverCausesOneMoreCycleThenRest) {
    RegistrySandbox sandbox;
    RunningMonitors monitors;
    CStartupManager* manager = CStartupManager::GetInstance();
    const long cycles = RunKeyTakeOverCount();
    {
        auto lock = manager->Lock();
        RegistrySandbox::PutText(kUser, keys::kRun, "First", "C:\\First\\first.exe");
        ASSERT_TRUE(WaitUntil([&] { return RunKeyTakeOverCount() == cycles + 1; }));
        // The monitor is now inside its take-over: this change must not go unseen.
        RegistrySandbox::PutText(kUser, keys::kRun, "Second", "C:\\Second\\second.exe");
        Sleep(100);
    }
    EXPECT_TRUE(WaitUntil([&] { return RunKeyTakeOverCount() >= cycles + 2; }))
        << "the change made during the take-over caused no further cycle";
    ASSERT_TRUE(WaitForRest()) << "the cycles never came to rest";
    // That further cycle finds nothing new and wakes nobody: the cycles end there.
    EXPECT_EQ(cycles + 2, RunKeyTakeOverCount());
    EXPECT_FALSE(InRun(kUser, "First"));
    EXPECT_FALSE(InRun(kUser, "Second"));
    EXPECT_TRUE(RegistrySandbox::Get(kUser, keys::kBackUp, "Second"));
}

TEST(RunKeyMonitor, StartsAgainAfterEveryStopAndAStoppedCycleTakesNothingOver) {
    RegistrySandbox sandbox;
    for (int round = 0; round < 20; ++round) {
        StartRunKeyMonitors();
        StartRunKeyMonitors();  // a second start while running adds no monitors
        StopRunKeyMonitors();
    }
    // Stopped: a cycle with a change pending ends before any take-over.
    win::UniqueKey run;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(kUser, keys::kRun, run.Put()));
    win::UniqueHandle changed(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    RegistrySandbox::PutText(kUser, keys::kRun, "Pending", "C:\\Pending\\pending.exe");
    const long cycles = RunKeyTakeOverCount();
    EXPECT_FALSE(AwaitRunKeyChange(run.Get(), changed.Get()));
    EXPECT_EQ(cycles, RunKeyTakeOverCount());
    EXPECT_TRUE(InRun(kUser, "Pending"));

    // Started again, the monitors see the next change and take over both values.
    RunningMonitors monitors;
    const RegValueBlob next = RegistrySandbox::Text("C:\\Next\\next.exe");
    RegistrySandbox::Put(kUser, keys::kRun, "Next", next);
    EXPECT_TRUE(WaitUntil([&] { return TakenOver(kUser, "Next", next); }));
    EXPECT_TRUE(WaitUntil([&] { return !InRun(kUser, "Pending"); }));
    ASSERT_TRUE(WaitForRest());
}

TEST(RunKeyMonitor, WritesItsDiagnosticLinesAndEndsOnErrors) {
    RegistrySandbox sandbox;
    std::string text;
    {
        StdoutRedirect out;
        {
            RunningMonitors monitors;
            RegistrySandbox::PutText(kUser, keys::kRun, "Logged", "C:\\Logged\\logged.exe");
            EXPECT_TRUE(WaitUntil([] { return !InRun(kUser, "Logged"); }));
            EXPECT_TRUE(WaitForRest());

            // A wait that fails prints its line and ends the monitor's loop.
            win::UniqueKey run;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(kUser, keys::kRun, run.Put()));
            HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
            CloseHandle(closed);
            EXPECT_FALSE(AwaitRunKeyChange(run.Get(), closed));

            // So does an arming that the registry refuses.
            HKEY gone = nullptr;
            ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyA(kUser, keys::kRun, &gone));
            RegCloseKey(gone);
            win::UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
            EXPECT_FALSE(ArmRunKeyNotification(gone, event.Get()));
        }
        text = out.Text();
    }
    const std::size_t waits = CountOf(text, "Waiting for a change in the specified key...\n");
    const std::size_t changes = CountOf(text, "\nChange has occurred.\n");
    EXPECT_GE(changes, 1u);
    // Each monitor arms once at its start and once more in every cycle.
    EXPECT_EQ(2 + changes, waits);
    EXPECT_LT(text.find("Waiting for a change in the specified key...\n"), text.find("\nChange has occurred.\n"));
    EXPECT_NE(std::string::npos, text.find("Error in WaitForSingleObject (6).\n")) << text;
    EXPECT_NE(std::string::npos, text.find("Error in RegNotifyChangeKeyValue (6).\n")) << text;
}

}  // namespace
