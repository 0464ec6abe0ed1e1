#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using namespace enginetest;

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
        const std::string command = it->second.empty() ? missing : LaunchLog::Command(it->first);
        copy.InsertFront(Entry(it->first, command));
        expected = "Data " + command + "\n" + (it->second.empty() ? "CreateProcess failed (2)\n" : "") + expected;
        if (!it->second.empty()) started.push_back(LaunchLog::Command(it->second));
    }

    EXPECT_EQ(expected, OutputOf([&] { EXPECT_TRUE(Manager().LaunchAll(copy)); }));
    SetEnvironmentVariableA("PACEWICK_TEST_WORD", nullptr);
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, log.WaitFor(started.size()));
    EXPECT_EQ("CreateProcess failed (2)\n", OutputOf([&] { EXPECT_FALSE(Manager().LaunchCommand(missing.data())); }));
}

}  // namespace
