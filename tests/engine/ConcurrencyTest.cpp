#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>

#include "EngineTestSupport.h"

namespace {

using namespace enginetest;

TEST(TakeOver, TwoMonitorsAndTheWindowShareTheManagerWithoutLosingAValue) {
    RegistrySandbox sandbox;
    CStartupManager& manager = Manager();
    const HKEY hives[] = {kUser, kMachine};
    Snapshot added[2];
    const std::set<Origin> labels = {Origin::CurrentUser, Origin::AllUsers, Origin::Both};
    std::atomic<bool> done{false};
    std::atomic<int> takeOvers{0}, badEntries{0}, walks{0};

    OutputOf([&] {
        auto monitor = [&] { for (; !done; ++takeOvers) manager.TakeOver(); };
        std::thread userMonitor(monitor), machineMonitor(monitor);
        std::thread window([&] {
            for (; !done; ++walks) {
                for (const StartupEntry& entry : manager.CopyList())
                    badEntries += !labels.count(entry.origin) || entry.name[0] == '\0';
            }
        });
        // Programs add themselves to the Run keys while the take-overs run.
        for (int index = 0; index < 40; ++index) {
            const std::string name = "program " + std::to_string(index);
            added[index % 2][name] = RegistrySandbox::Text("C:\\" + name + ".exe");
            RegistrySandbox::Put(hives[index % 2], keys::kRun, name.c_str(), added[index % 2][name]);
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
    for (int hive = 0; hive < 2; ++hive) {
        EXPECT_EQ(added[hive], Take(hives[hive], keys::kBackUp));
        EXPECT_TRUE(Take(hives[hive], keys::kRun).empty());
    }
    EXPECT_EQ(40u, manager.CopyList().Count());
}

}  // namespace
