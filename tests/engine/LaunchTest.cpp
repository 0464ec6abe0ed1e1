#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/StartupManager.h"

namespace {

using namespace enginetest;

// record_launch.exe writes its command line to the file named by
// PACEWICK_LAUNCH_LOG, one line per start.
class LaunchLog {
public:
    LaunchLog() : path_(temp_.File("launches.log")) { SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", path_.c_str()); }
    ~LaunchLog() { SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", nullptr); }

    // The logged lines once `count` are there, or what is there after 30 s.
    std::vector<std::string> WaitFor(std::size_t count) const {
        std::vector<std::string> lines;
        for (int attempt = 0; attempt < 300 && lines.size() < count; ++attempt) {
            Sleep(100);
            lines = Lines();
        }
        return lines;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream file(path_);
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }

private:
    TempDir temp_;
    std::string path_;
};

std::string Recorder() { return "\"" + FixtureDir() + "\\record_launch.exe\""; }

StartupEntry Entry(const std::string& name, const std::string& command) {
    StartupEntry entry;
    SetField(entry.name, name.c_str());
    SetField(entry.command, command.c_str());
    SetField(entry.company, "Unknown");
    SetField(entry.origin, origin::kCurrentUser);
    return entry;
}

TEST(LaunchAll, StartsEveryEntryOnceInListOrder) {
    LaunchLog log;
    CStartupManager& manager = Manager();
    EntryList copy;
    std::vector<std::string> commands;
    for (const char* word : {"third", "second", "first", "\"quoted word\" 100%"}) {
        commands.insert(commands.begin(), Recorder() + " " + word);
        copy.InsertFront(Entry(word, commands.front()));
    }

    bool result = false;
    const std::string output = OutputOf([&] { result = manager.LaunchAll(copy); });
    EXPECT_TRUE(result);
    std::string expected;
    for (const std::string& command : commands) expected += "Data " + command + "\n";
    EXPECT_EQ(expected, output);  // launched in list order, nothing failed

    // The programs run side by side, so the log shows the set, not the order.
    std::vector<std::string> lines = log.WaitFor(commands.size());
    Sleep(300);  // a second start of any entry would show up by now
    lines = log.Lines();
    std::sort(lines.begin(), lines.end());
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(commands, lines);

    EXPECT_EQ("", OutputOf([&] { EXPECT_TRUE(manager.LaunchAll(EntryList())); }));
}

TEST(LaunchCommand, ExpandsEnvironmentReferencesAndReportsFailures) {
    LaunchLog log;
    CStartupManager& manager = Manager();
    SetEnvironmentVariableA("PACEWICK_TEST_WORD", "expanded");
    std::string command = Recorder() + " %PACEWICK_TEST_WORD% %NO_SUCH_PACEWICK_VARIABLE% 100%";
    EXPECT_TRUE(manager.LaunchCommand(command.data()));
    EXPECT_EQ((std::vector<std::string>{Recorder() + " expanded %NO_SUCH_PACEWICK_VARIABLE% 100%"}), log.WaitFor(1));
    EXPECT_EQ(Recorder() + " %PACEWICK_TEST_WORD% %NO_SUCH_PACEWICK_VARIABLE% 100%",
              command);  // the entry's text stays
    SetEnvironmentVariableA("PACEWICK_TEST_WORD", nullptr);

    std::string missing = "\"" + FixtureDir() + "\\no_such_program.exe\" -x";
    bool result = true;
    EXPECT_EQ("CreateProcess failed (2)\n", OutputOf([&] { result = manager.LaunchCommand(missing.data()); }));
    EXPECT_FALSE(result);

    // A failed start does not stop the others.
    EntryList copy;
    copy.InsertFront(Entry("after", Recorder() + " after"));
    copy.InsertFront(Entry("missing", missing));
    const std::string output = OutputOf([&] { manager.LaunchAll(copy); });
    EXPECT_EQ("Data " + missing + "\nCreateProcess failed (2)\nData " + Recorder() + " after\n", output);
    EXPECT_EQ(2u, log.WaitFor(2).size());
}

}  // namespace
