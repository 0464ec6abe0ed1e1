// What Explorer would start is what Pacewick takes over: Task Manager's switches, policies, 32-bit Run key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TakeOverSupport.h"

namespace {

using namespace enginetest;
using S = RegistrySandbox;

RegValueBlob Marker(BYTE first) {
    const BYTE bytes[12] = {first};
    return RegValueBlob(REG_BINARY, bytes, sizeof bytes);
}

Names Listed(TestEngine& engine) { return NamesOf(engine.List()); }

TEST(ExplorerRules, SwitchedOffEntriesStayWhereTheyAreAndAreNeitherListedNorStarted) {
    S sandbox;
    const std::vector<std::pair<HKEY, const wchar_t*>> runKeys = {
        {kUser, keys::kRun}, {kMachine, keys::kRun}, {kMachine, keys::kRun32}};
    const std::vector<std::pair<HKEY, const wchar_t*>> switches = {
        {kUser, keys::kApprovedRun}, {kMachine, keys::kApprovedRun}, {kMachine, keys::kApprovedRun32}};
    for (const auto& [hive, approvedPath] : switches) S::Create(hive, approvedPath);
    for (std::size_t i = 0; i < runKeys.size(); ++i) {
        const auto [hive, run] = runKeys[i];
        const std::string tag = std::to_string(i);
        for (const std::string& name : {"off" + tag, "on" + tag, "odd" + tag})
            S::PutText(hive, run, name.c_str(), LaunchLog::Command(name));
        S::Put(switches[i].first, switches[i].second, ("off" + tag).c_str(), Marker(3));  // switched off
        S::Put(switches[i].first, switches[i].second, ("on" + tag).c_str(), Marker(2));   // switched on
        // The other key's switch of the same name does not count.
        S::Put(switches[(i + 1) % 3].first, switches[(i + 1) % 3].second, ("odd" + tag).c_str(), Marker(1));
    }
    std::vector<Snapshot> before;
    for (const auto& [hive, run] : runKeys) before.push_back(Take(hive, run));
    const Snapshot approved = Take(kUser, keys::kApprovedRun);
    TestEngine engine;
    takeover::CStartupManager& manager = engine.manager;
    LaunchLog log;

    manager.TakeOver();
    for (std::size_t i = 0; i < runKeys.size(); ++i) {
        const std::string tag = std::to_string(i);
        const Snapshot now = Take(runKeys[i].first, runKeys[i].second);
        EXPECT_EQ((Names{"off" + tag}), NamesOf(now)) << runKeys[i].second;
        EXPECT_EQ(before[i].at("off" + tag), now.at("off" + tag));
        const std::string off = "off" + tag;
        EXPECT_EQ(1, engine.events.Count(ItemHappened::Kept, ItemPlace::StartUp, "it is switched off", off.c_str()));
    }
    EXPECT_EQ((Names{"odd0", "odd1", "odd2", "on0", "on1", "on2"}), Sorted(Listed(engine)));
    EXPECT_EQ(approved, Take(kUser, keys::kApprovedRun)) << "a switch was changed";

    // Switched off while held: not listed, so not started; a restore puts it back with the rest.
    S::Put(kUser, keys::kApprovedRun, "on0", Marker(1));
    manager.RebuildList();
    EXPECT_EQ(5u, Listed(engine).size());
    OutputOf([&] { engine.launcher.LaunchAll(engine.List()); });
    EXPECT_EQ(5u, log.WaitFor(5).size()) << "a switched-off entry was started, or an entry not";
    manager.RestoreAll();
    for (std::size_t i = 0; i < runKeys.size(); ++i)
        EXPECT_EQ(before[i], Take(runKeys[i].first, runKeys[i].second)) << runKeys[i].second;
    EXPECT_TRUE(Take(kUser, keys::kBackUp).empty() && Take(kMachine, keys::kBackUp).empty() &&
                Take(kMachine, keys::kBackUp32).empty());
}

TEST(ExplorerRules, APolicyThatTurnsARunListOffLeavesThatListAlone) {
    for (HKEY policyHive : {kUser, kMachine}) {
        for (const wchar_t* policy : {keys::kDisableUserRun, keys::kDisableMachineRun}) {
            S sandbox;
            S::PutText(kUser, keys::kRun, "user", "C:\\user.exe");
            S::PutText(kMachine, keys::kRun, "machine", "C:\\machine.exe");
            S::PutText(kMachine, keys::kRun32, "machine32", "C:\\machine32.exe");
            S::PutText(kMachine, keys::kBackUp, "held", "C:\\held.exe");  // taken over before the policy came
            S::Create(policyHive, keys::kExplorerPolicies);
            S::Put(policyHive, keys::kExplorerPolicies, policy, S::Dword(1));
            TestEngine engine;
            takeover::CStartupManager& manager = engine.manager;
            OutputOf([&] { manager.TakeOver(); });
            const bool userOff = policy == keys::kDisableUserRun;
            EXPECT_EQ(userOff, S::Get(kUser, keys::kRun, "user").has_value()) << policy;
            EXPECT_EQ(!userOff, S::Get(kMachine, keys::kRun, "machine").has_value()) << policy;
            EXPECT_EQ(!userOff, S::Get(kMachine, keys::kRun32, "machine32").has_value()) << policy;
            // Nor is a turned-off list copied: a copy would outlive its program's removal.
            EXPECT_EQ(!userOff, S::Get(kUser, keys::kBackUp, "user").has_value()) << policy;
            EXPECT_EQ(userOff, S::Get(kMachine, keys::kBackUp, "machine").has_value()) << policy;
            EXPECT_EQ(userOff, S::Get(kMachine, keys::kBackUp32, "machine32").has_value()) << policy;
            EXPECT_EQ(userOff ? (Names{"held", "machine", "machine32"}) : (Names{"user"}), Sorted(Listed(engine)))
                << policy;
            // A value of 0 turns nothing off.
            S::Put(policyHive, keys::kExplorerPolicies, policy, S::Dword(0));
            OutputOf([&] { manager.TakeOver(); });
            EXPECT_EQ(4u, Listed(engine).size()) << policy;
        }
    }
}

TEST(ExplorerRules, TheMachines32BitRunKeyIsTakenOverListedDeletedAndRestoredInItsOwnKeys) {
    S sandbox;
    S::PutText(kMachine, keys::kRun32, "Old32", "\"C:\\Program Files (x86)\\Old\\old.exe\" /tray");
    S::PutText(kMachine, keys::kRun32, "Shared", "C:\\x86\\shared.exe");
    S::PutText(kMachine, keys::kRun, "Shared", "C:\\x64\\shared.exe");
    S::PutText(kMachine, keys::kRun32, "Gone", "C:\\x86\\gone.exe");
    S::PutText(kMachine, keys::kRun32, keys::kSelfValueName, "\"C:\\elsewhere\\pacewick.exe\"");
    const Snapshot run32 = Take(kMachine, keys::kRun32), run = Take(kMachine, keys::kRun);
    TestEngine engine;
    takeover::CStartupManager& manager = engine.manager;

    OutputOf([&] { manager.TakeOver(); });
    EXPECT_EQ((Names{S::KeyText(keys::kSelfValueName).Str()}), NamesOf(Take(kMachine, keys::kRun32)));
    EXPECT_EQ((Names{"Gone", "Old32", "Shared"}), NamesOf(Take(kMachine, keys::kBackUp32)));
    EXPECT_EQ(run32.at("Shared"), Take(kMachine, keys::kBackUp32).at("Shared"));
    EXPECT_EQ(run.at("Shared"), Take(kMachine, keys::kBackUp).at("Shared"));
    // Machine entries, whichever view; a name in both views is one entry kept in both.
    for (const StartupEntry& entry : engine.List()) {
        EXPECT_EQ(Origin::AllUsers, entry.origin) << U8(entry.name);
        if (entry.name == L"Shared") {
            EXPECT_EQ(ListBit(1) | ListBit(2), entry.lists);
        } else if (entry.name == L"Gone") {
            EXPECT_TRUE(manager.DeleteBackupEntry(entry));
        }
    }
    EXPECT_FALSE(S::Get(kMachine, keys::kBackUp32, "Gone"));
    EXPECT_EQ(3u, Take(kMachine, keys::kBackUp32).size() + Take(kMachine, keys::kBackUp).size());

    manager.RestoreAll();
    Snapshot expected32 = run32;
    expected32.erase("Gone");
    EXPECT_EQ(expected32, Take(kMachine, keys::kRun32));
    EXPECT_EQ(run, Take(kMachine, keys::kRun));
    EXPECT_TRUE(Take(kMachine, keys::kBackUp32).empty() && Take(kMachine, keys::kBackUp).empty());
}

}  // namespace
