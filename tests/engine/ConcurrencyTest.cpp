#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/StartupManager.h"
#include "registry/RegistryKeys.h"

namespace {

using namespace enginetest;

bool HasALabel(const StartupEntry& entry) {
    for (const char* label : {origin::kCurrentUser, origin::kAllUsers, origin::kBoth, origin::kTaskScheduler})
        if (std::strcmp(entry.origin, label) == 0) return true;
    return false;
}

TEST(TakeOver, TwoMonitorsAndTheWindowShareTheManagerWithoutLosingAValue) {
    RegistrySandbox sandbox;
    CStartupManager& manager = Manager();
    const HKEY hives[] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE};
    std::atomic<bool> done{false};
    std::atomic<int> takeOvers{0};
    std::atomic<int> badEntries{0};
    std::atomic<int> walks{0};
    constexpr int kValues = 40;

    OutputOf([&] {
        auto monitor = [&] {
            while (!done) {
                manager.TakeOver();
                ++takeOvers;
            }
        };
        std::thread userMonitor(monitor);
        std::thread machineMonitor(monitor);
        std::thread window([&] {
            while (!done) {
                const EntryList copy = manager.CopyList();
                for (const StartupEntry& entry : copy)
                    if (!HasALabel(entry)) ++badEntries;
                manager.WalkList([&](const StartupEntry& entry) {
                    if (!HasALabel(entry) || entry.name[0] == '\0') ++badEntries;
                });
                ++walks;
            }
        });
        // Programs add themselves to the Run keys while the take-overs run.
        for (int index = 0; index < kValues; ++index) {
            const std::string name = "program " + std::to_string(index);
            RegistrySandbox::PutText(hives[index % 2], keys::kRun, name.c_str(), "C:\\" + name + ".exe");
            Sleep(2);
        }
        while (takeOvers < 10) Sleep(1);
        done = true;
        userMonitor.join();
        machineMonitor.join();
        window.join();
        manager.TakeOver();  // what a monitor does on the last change
    });

    EXPECT_EQ(0, badEntries);
    EXPECT_GT(walks, 0);
    for (int index = 0; index < kValues; ++index) {
        const std::string name = "program " + std::to_string(index);
        const HKEY hive = hives[index % 2];
        EXPECT_EQ(RegistrySandbox::Text("C:\\" + name + ".exe"),
                  RegistrySandbox::Get(hive, keys::kBackUp, name.c_str()))
            << name;
        EXPECT_FALSE(RegistrySandbox::Get(hive, keys::kRun, name.c_str())) << name;
    }
    EXPECT_EQ(static_cast<std::size_t>(kValues), manager.CopyList().Count());
}

}  // namespace
