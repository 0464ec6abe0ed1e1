#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "win/Scoped.h"

namespace {

using namespace enginetest;

TEST(ProgramPathFromCommand, DerivesThePathOfEveryKindOfCommand) {
    char windows[MAX_PATH] = {};
    const std::string windir(windows, GetWindowsDirectoryA(windows, MAX_PATH));
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"\"C:\\Program Files\\App\\app.exe\" -min", "C:\\Program Files\\App\\app.exe"},
        {"C:\\Tools\\tool.exe /s", "C:\\Tools\\tool.exe"},
        {"\"C:\\Program Files\\App\\app\" -x", "C:\\Program Files\\App\\app.exe"},
        {"rundll32 shell32.dll,Control_RunDLL", "rundll32.exe"},
        {"%systemroot%\\system32\\svcmon", windir + "\\system32\\svcmon.exe"},
        {"C:\\PROGRA~1\\APP\\APP.EXE /s", "C:\\PROGRA~1\\APP\\APP.EXE.exe"},
        {"\"%systemroot%\\app.exe\"", "%systemroot%\\app.exe"},
        {"C:\\exec\\tool.com -x", "C:\\exe"},
        // The replacement matches the lower-case spelling only, and every occurrence.
        {"%SystemRoot%\\svcmon", "%SystemRoot%\\svcmon.exe"},
        {"%systemroot%\\a;%systemroot%\\b", windir + "\\a;" + windir + "\\b.exe"},
        {"", ".exe"},
        {"\"unclosed path", "unclosed path.exe"},
    };
    for (const auto& [command, path] : rows)
        EXPECT_EQ(path, CStartupManager::ProgramPathFromCommand(command)) << command;
}

TEST(ValueHelpers, ReadTextWithinTheDataAndReportFailedWrites) {
    RegistrySandbox sandbox;
    RegistrySandbox::Put(kUser, keys::kRun, "full", RegValueBlob(REG_BINARY, std::string(512, 'z').c_str(), 512));
    win::UniqueKey key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(kUser, keys::kRun, 0, KEY_READ, key.Put()));

    // 512 bytes without any zero byte: read whole, never past the data.
    EXPECT_EQ(std::string(512, 'z'), Manager().ReadValueText(key.Get(), "full"));
    // Through a read-only handle a write fails and says so.
    EXPECT_EQ("Reg entry put UNSUCCESSFUL!!\n",
              OutputOf([&] { EXPECT_EQ(0, Manager().PutOrDeleteValue(key.Get(), 1, "w", "x")); }));
    EXPECT_FALSE(RegistrySandbox::Get(kUser, keys::kRun, "w"));
}

}  // namespace
