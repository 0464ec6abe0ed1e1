#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using namespace enginetest;

// record_launch.exe appends its command line to the file named by PACEWICK_LAUNCH_LOG.
struct LaunchLog {
    const std::string path = TempPath("launches.log");
    LaunchLog() { SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", path.c_str()); }
    ~LaunchLog() {
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG", nullptr);
        DeleteFileA(path.c_str());
    }

    // The logged lines, sorted (the programs run side by side), once `count` are
    // there or after 30 s, and a moment later, so that a second start would show.
    std::vector<std::string> WaitFor(std::size_t count) const {
        for (int attempt = 0; attempt < 300 && Lines().size() < count; ++attempt) Sleep(100);
        Sleep(300);
        std::vector<std::string> lines = Lines();
        std::sort(lines.begin(), lines.end());
        return lines;
    }
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        std::ifstream file(path);
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines;
    }
};

std::string Recorder() { return "\"" + FixtureDir() + "\\record_launch.exe\""; }

TEST(LaunchAll, StartsEveryEntryOnceInListOrderPastAMissingProgram) {
    LaunchLog log;
    SetEnvironmentVariableA("PACEWICK_TEST_WORD", "expanded");
    std::string missing = "\"" + FixtureDir() + "\\no_such_program.exe\" -x";
    // The arguments of each command, as listed and as the started program sees them.
    const std::vector<std::pair<std::string, std::string>> arguments = {
        {"first", "first"}, {"missing", ""}, {"\"quoted word\" 100%", "\"quoted word\" 100%"},
        {"%PACEWICK_TEST_WORD% %NO_SUCH_PACEWICK_VARIABLE%", "expanded %NO_SUCH_PACEWICK_VARIABLE%"}, {"last", "last"}};
    EntryList copy;
    std::string expected;
    std::vector<std::string> started;
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        const std::string command = it->second.empty() ? missing : Recorder() + " " + it->first;
        copy.InsertFront(Entry(it->first, command));
        expected = "Data " + command + "\n" + (it->second.empty() ? "CreateProcess failed (2)\n" : "") + expected;
        if (!it->second.empty()) started.push_back(Recorder() + " " + it->second);
    }

    EXPECT_EQ(expected, OutputOf([&] { EXPECT_TRUE(Manager().LaunchAll(copy)); }));
    SetEnvironmentVariableA("PACEWICK_TEST_WORD", nullptr);
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, log.WaitFor(started.size()));
    EXPECT_EQ("CreateProcess failed (2)\n", OutputOf([&] { EXPECT_FALSE(Manager().LaunchCommand(missing.data())); }));
}

}  // namespace
