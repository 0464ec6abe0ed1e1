// Starting the entries: programs, shortcuts and logon tasks, either way a start takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "TakeOverSupport.h"
#include "FakeTaskScheduler.h"
#include "Shortcuts.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace {

using namespace enginetest;

// Run All never starts a logon task (the scheduler does); a single Run asks the scheduler to run it.
TEST(LaunchAll, StartsEveryEntryOnceInListOrderPastAMissingProgramButNoLogonTask) {
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
    std::vector<std::pair<std::string, bool>> expectedOutcomes, outcomes;  // each start as it is told, in order
    for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
        const std::string command = it->second.empty() ? missing : LaunchLog::Command(it->first);
        copy.InsertFront(Entry(it->first, command));
        const char* said = it->second.empty() ? "CreateProcess failed (2)\nStart failed: " : "Data ";
        expected = said + command + "\n" + expected;
        if (!it->second.empty()) started.push_back(LaunchLog::Command(it->second));
        expectedOutcomes.insert(expectedOutcomes.begin(), {it->first, !it->second.empty()});
    }
    StartupEntry task = Entry("Backup at logon", LaunchLog::Command("task"));
    task.origin = Origin::TaskScheduler;
    copy.InsertFront(task);

    TestEngine engine;
    const launch::StartOutcome told = [&](const StartupEntry& entry, bool ok) { outcomes.emplace_back(U8(entry.name), ok); };
    EXPECT_EQ(expected, OutputOf([&] { engine.launcher.LaunchAll(copy, {}, told); }));
    EXPECT_EQ(expectedOutcomes, outcomes) << "the logon task is not told of: it was not started";
    SetEnvironmentVariableA("PACEWICK_TEST_WORD", nullptr);
    std::sort(started.begin(), started.end());
    EXPECT_EQ(started, log.WaitFor(started.size()));
    EXPECT_EQ("CreateProcess failed (2)\n",
              OutputOf([&] { EXPECT_FALSE(engine.launcher.LaunchEntry(Entry("missing", missing))); }));

    fake_tasks::Scheduler world;
    world.tasks = {{L"Backup at logon"}};
    engine.model.SetTaskSchedulerFactory(fake_tasks::FactoryOf(world));
    EXPECT_TRUE(engine.launcher.LaunchEntry(task));
    EXPECT_EQ(std::vector<std::wstring>{L"Backup at logon"}, world.ran) << "the task was not run by its scheduler";
    engine.model.SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
    EXPECT_EQ(0, world.liveObjects.load());
}

// An elevated Pacewick hands the program (found as CreateProcess would) to the desktop shell; if it fails, nothing.
TEST(LaunchCommand, ElevatedStartsThroughTheShellOrNotAtAll) {
    // Unquoted, the shortest text up to a blank that names a file is the program.
    const std::string base = TempPath("dir"), recorder = base + " x\\record_launch.exe";
    const std::string fixture = FixtureDir() + "\\record_launch.exe";
    ASSERT_TRUE(CreateDirectoryA((base + " x").c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(fixture.c_str(), recorder.c_str(), FALSE));
    LaunchLog log;  // what CreateProcess would start records itself here
    launch::SetElevationCheck([] { return true; });
    std::vector<std::pair<std::string, std::string>> asked;
    HRESULT answer = S_OK;
    launch::SetShellStart([&](const std::wstring& program, const std::wstring& arguments, const std::wstring&, int) {
        asked.emplace_back(win::Utf8ForDisplay(program), win::Utf8ForDisplay(arguments));
        return answer;
    });
    TestEngine engine;
    auto start = [&](const std::string& command) { return engine.launcher.LaunchEntry(Entry("started", command)); };
    EXPECT_TRUE(start(LaunchLog::Command("\"a b\" c")));
    EXPECT_TRUE(start(recorder + " -x"));
    EXPECT_TRUE(start("record_launch  one"));  // found beside this program, as CreateProcess finds it
    EXPECT_TRUE(CopyFileA(fixture.c_str(), (base + ".exe").c_str(), FALSE));
    EXPECT_TRUE(start(recorder + " -x"));
    EXPECT_EQ("CreateProcess failed (2)\n", OutputOf([&] { EXPECT_FALSE(start(base + "\\none.exe")); }));
    answer = E_ACCESSDENIED;
    EXPECT_EQ("Not started: the desktop shell could not start it unelevated (0x80070005)\n",
              OutputOf([&] { EXPECT_FALSE(start(LaunchLog::Command("refused"))); }));
    launch::SetShellStart(nullptr);
    EXPECT_EQ((std::vector<std::pair<std::string, std::string>>{{fixture, "\"a b\" c"},
                                                                {recorder, "-x"},
                                                                {fixture, "one"},
                                                                {base + ".exe", "x\\record_launch.exe -x"},
                                                                {fixture, "refused"}}),
              asked);
    Sleep(300);
    EXPECT_TRUE(log.Lines().empty()) << "started with this process's own token";
    EXPECT_TRUE(DeleteFileA(recorder.c_str()) && DeleteFileA((base + ".exe").c_str()) &&
                RemoveDirectoryA((base + " x").c_str()));
}

// A held shortcut starts its target with its own arguments, folder and window either way; a bad one fails.
TEST(StartItem, AShortcutStartsItsTargetWithItsOwnArgumentsAndFolderEitherWay) {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    const std::wstring base = *win::Wide(TempPath("shortcut")), tools = base + L" tools", work = base + L" work";
    const std::wstring target = tools + L"\\record launch.exe", gone = tools + L"\\gone.exe";
    const std::wstring arguments = L"one \"x y\"";
    ASSERT_TRUE(CreateDirectoryW(tools.c_str(), nullptr) && CreateDirectoryW(work.c_str(), nullptr));
    const std::wstring recorder = *win::Wide(FixtureDir() + "\\record_launch.exe");
    ASSERT_TRUE(CopyFileW(recorder.c_str(), target.c_str(), FALSE) && CopyFileW(recorder.c_str(), gone.c_str(), FALSE));
    const std::wstring good = tools + L"\\Good.lnk", missing = tools + L"\\Missing.lnk", damaged = tools + L"\\Bad.lnk";
    const std::wstring chained = tools + L"\\Chained.lnk";
    ASSERT_TRUE(SUCCEEDED(test_shortcuts::Make(good, target, arguments, work, SW_SHOWMINNOACTIVE)) &&
                SUCCEEDED(test_shortcuts::Make(chained, good, L"", L"")) &&
                SUCCEEDED(test_shortcuts::Make(missing, gone, L"", L"")) &&
                SUCCEEDED(test_shortcuts::Make(damaged, target, arguments, work)) && DeleteFileW(gone.c_str()));
    {
        std::ifstream in(damaged.c_str(), std::ios::binary);
        const test_shortcuts::Bytes sound((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        in.close();
        const test_shortcuts::Bytes overlong = test_shortcuts::WithOverlongFirstItem(sound);
        std::ofstream(damaged.c_str(), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(overlong.data()), static_cast<std::streamsize>(overlong.size()));
    }
    EntryList entries;
    for (const std::wstring& item : {chained, missing, damaged, good}) {
        StartupEntry entry = Entry("item", win::Utf8ForDisplay(item));
        entry.item = item;
        entries.InsertFront(entry);
    }
    const std::string line = "Data " + win::Utf8ForDisplay(good) + "\n" +
                             "Not started: the shortcut cannot be read or names no path\n" +
                             "Start failed: " + win::Utf8ForDisplay(damaged) + "\n" +
                             "Not started: the shortcut's target is missing (2)\n" +
                             "Start failed: " + win::Utf8ForDisplay(missing) + "\n" +
                             "Not started: the shortcut names another shortcut\n" +
                             "Start failed: " + win::Utf8ForDisplay(chained) + "\n";
    TestEngine engine;
    {
        LaunchLog log;
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG_FOLDER", "1");
        EXPECT_EQ(line, OutputOf([&] { engine.launcher.LaunchAll(entries); }));
        SetEnvironmentVariableA("PACEWICK_LAUNCH_LOG_FOLDER", nullptr);
        EXPECT_EQ(std::vector<std::string>{"\"" + win::Utf8ForDisplay(target) + "\" " +
                                           win::Utf8ForDisplay(arguments) + " in " + win::Utf8ForDisplay(work)},
                  log.WaitFor(1));
    }
    launch::SetElevationCheck([] { return true; });
    std::vector<std::wstring> asked;
    launch::SetShellStart([&](const std::wstring& program, const std::wstring& given, const std::wstring& folder,
                              int show) {
        asked.insert(asked.end(), {program, given, folder, std::to_wstring(show)});
        return S_OK;
    });
    EXPECT_EQ(line, OutputOf([&] { engine.launcher.LaunchAll(entries); }));
    launch::SetShellStart(nullptr);
    launch::SetElevationCheck(nullptr);
    EXPECT_EQ((std::vector<std::wstring>{target, arguments, work, std::to_wstring(SW_SHOWMINNOACTIVE)}), asked);
    // The recorder may still be ending, in its working folder.
    const auto removed = [](const std::wstring& folder) {
        RemoveDirectoryW(folder.c_str());
        return GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
    };
    EXPECT_TRUE(WaitUntil([&] {
        for (const std::wstring& file : {good, missing, damaged, chained, target}) DeleteFileW(file.c_str());
        return removed(tools) && removed(work);
    }));
    CoUninitialize();
}

TEST(LaunchAll, StartsEveryDistinctCommandOfANameKeptInSeveralRunLists) {
    RegistrySandbox sandbox;
    LaunchLog log;
    RegistrySandbox::PutText(kUser, keys::kRun, "Dup", LaunchLog::Command("user"));
    RegistrySandbox::PutText(kMachine, keys::kRun, "Dup", LaunchLog::Command("machine"));
    RegistrySandbox::PutText(kMachine, keys::kRun32, "Dup", LaunchLog::Command("user"));
    TestEngine engine;
    OutputOf([&] { engine.manager.TakeOver(); });
    const EntryList list = engine.List();
    ASSERT_EQ(Names{"Dup"}, NamesOf(list));
    EXPECT_EQ(Origin::Both, list.begin()->origin);
    OutputOf([&] { engine.launcher.LaunchAll(list); });
    EXPECT_EQ((std::vector<std::string>{LaunchLog::Command("machine"), LaunchLog::Command("user")}), log.WaitFor(2));
    OutputOf([&] { engine.manager.RestoreAll(); });
}

}  // namespace
