// The removal's system step ends every running pacewick.exe of the keeper's folder, and no other program.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "LogRoot.h"
#include "TestHelpers.h"
#include "keeper/KeeperLog.h"
#include "keeper/RemovalNotice.h"

namespace {

// The linger fixture copied into a folder of its own as pacewick.exe, removed at the end.
struct CopiedPacewick {
    explicit CopiedPacewick(const char* tag)
        : folder(*win::Wide(enginetest::TempPath(tag))), program(folder + L"\\pacewick.exe") {
        CreateDirectoryW(folder.c_str(), nullptr);
        EXPECT_TRUE(CopyFileW(win::Wide(FixtureDir() + "\\linger.exe")->c_str(), program.c_str(), FALSE));
    }
    ~CopiedPacewick() {
        DeleteFileW(program.c_str());
        RemoveDirectoryW(folder.c_str());
    }
    win::UniqueHandle Start(const wchar_t* milliseconds = L"") const {
        return StartProgram(L"\"" + program + L"\" " + milliseconds);
    }
    const std::wstring folder;
    const std::wstring program;
};

bool Runs(const win::UniqueHandle& process) { return WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT; }

}  // namespace

TEST(RemovalSweep, WaitsForAPacewickThatEndsEndsOneThatDoesNotAtTheBoundAndLeavesAnotherFoldersAlone) {
    LogRoot logRoot;
    keeper::OpenLog(logRoot.root);
    const CopiedPacewick ours("ours"), other("other");
    const win::UniqueHandle quick = ours.Start(L"400"), deaf = ours.Start(), elsewhere = other.Start();
    ASSERT_TRUE(quick && deaf && elsewhere);

    const keeper::PacewickSweep sweep{ours.program, 1500, 2000};
    const ULONGLONG began = GetTickCount64();
    EXPECT_TRUE(keeper::EndEveryPacewick(sweep));
    const ULONGLONG took = GetTickCount64() - began;
    keeper::CloseLog();

    EXPECT_EQ(0u, ExitCodeOf(quick, 0));  // ended by itself
    EXPECT_EQ(1u, ExitCodeOf(deaf, 0));   // ended by the sweep, once the bound was reached
    EXPECT_GE(took, 1500u);
    EXPECT_LT(took, 3500u);
    EXPECT_TRUE(Runs(elsewhere));
    for (const win::UniqueHandle* started : {&quick, &deaf, &elsewhere}) {
        TerminateProcess(started->Get(), 0);
        WaitForSingleObject(started->Get(), 5000);
    }

    std::string log;
    for (const std::string& line : logRoot.Lines()) log += line + "\n";
    EXPECT_EQ(2, CountOf(log, ": waiting for it to end")) << log;
    EXPECT_EQ(1, CountOf(log, "did not end within 1500 ms: it is ended")) << log;
    EXPECT_EQ(0, CountOf(log, "still runs")) << log;
}

namespace {
BOOL WINAPI OutlivedBy(HANDLE, UINT) { return TRUE; }  // a process the end does not reach
}  // namespace

TEST(RemovalSweep, APacewickThatOutlivesItsEndStopsTheRemovalAndTheLogSaysWhich) {
    LogRoot logRoot;
    keeper::OpenLog(logRoot.root);
    const CopiedPacewick ours("outlives");
    const win::UniqueHandle deaf = ours.Start();
    ASSERT_TRUE(deaf);
    EXPECT_FALSE(keeper::EndEveryPacewick(keeper::PacewickSweep{ours.program, 300, 300, OutlivedBy}));
    keeper::CloseLog();
    EXPECT_TRUE(Runs(deaf));
    TerminateProcess(deaf.Get(), 0);
    WaitForSingleObject(deaf.Get(), 5000);
    std::string log;
    for (const std::string& line : logRoot.Lines()) log += line + "\n";
    EXPECT_EQ(1, CountOf(log, "still runs: the removal cannot go on")) << log;
}
