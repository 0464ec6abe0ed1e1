// The never-wait table: which commands are the system components that start at log-on, read from their text alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "plan/NeverWait.h"
#include "plan/StartPlan.h"
#include "registry/RegistryKeys.h"
#include "RegistrySandbox.h"

namespace {

using plan::StartLevel;

StartupEntry RunValue(const std::wstring& name, const std::wstring& command, Origin origin = Origin::AllUsers) {
    StartupEntry entry;
    entry.name = name;
    entry.command = command;
    entry.origin = origin;
    entry.lists = 1;
    return entry;
}

TEST(NeverWait, ARowMatchesOnlyItsProgramInItsFolderUnderItsNameAndArguments) {
    // A machine whose folders are spelled otherwise than Wine's own (%windir% is C:\windows here).
    const plan::SystemFolders folders{L"C:\\Windows\\System32", L"C:\\Windows\\SysWOW64", L"C:\\Program Files",
                                      L"C:\\Program Files (x86)"};
    struct Case {
        const wchar_t* value;
        const wchar_t* command;
        bool matches;
    };
    const Case cases[] = {
        // Each row in its folder, written as installers write them.
        {L"SecurityHealth", L"%windir%\\system32\\SecurityHealthSystray.exe", true},
        {L"SecurityHealth", L"\"C:\\Windows\\System32\\SecurityHealthSystray.exe\"", true},
        {L"SecurityHealth", L"C:\\WINDOWS\\system32\\SECURITYHEALTHSYSTRAY.EXE", true},
        {L"ctfmon.exe", L"C:\\Windows\\System32\\ctfmon.exe", true},
        {L"RtkAudUService", L"\"C:\\Windows\\System32\\RtkAudUService64.exe\" -background", true},
        {L"SynTPEnh", L"C:\\Program Files\\Synaptics\\SynTP\\SynTPEnh.exe", true},
        {L"ETDCtrl", L"\"C:\\Program Files (x86)\\Elantech\\ETDCtrl.exe\"", true},
        {L"VBoxTray", L"C:\\Windows\\SysWOW64\\VBoxTray.exe", true},
        {L"VMware User Process", L"\"C:\\Program Files\\VMware\\VMware Tools\\vmtoolsd.exe\" -n vmusr", true},
        {L"VMware User Process", L"\"C:\\Program Files\\VMware\\VMware Tools\\vmtoolsd.exe\"   -n \t vmusr ", true},
        // `.`, `..` and separators resolve as Windows resolves them.
        {L"ctfmon", L"C:\\Users\\Public\\..\\..\\Windows\\.\\System32\\ctfmon.exe", true},
        {L"ctfmon", L"C:/Windows//System32/ctfmon.exe", true},
        // A look-alike of the same name elsewhere, however it is spelled.
        {L"SecurityHealth", L"C:\\Users\\Public\\SecurityHealthSystray.exe", false},
        {L"SecurityHealth", L"%windir%\\system32\\..\\..\\Users\\Public\\SecurityHealthSystray.exe", false},
        {L"SecurityHealth", L"C:\\Windows\\System32\\Tasks\\SecurityHealthSystray.exe", false},
        {L"SynTPEnh", L"C:\\Program Files\\Synaptics\\SynTPEnh.exe", false},
        {L"ctfmon", L"C:\\Program Files\\ctfmon.exe", false},
        {L"ctfmon", L"C:\\Windows\\System32\\ctfmon.exe:x.exe", false},
        // Unquoted, Windows first tries the text up to each blank: C:\Users\Public\a.exe here.
        {L"ctfmon", L"C:\\Users\\Public\\a b\\..\\..\\..\\Windows\\System32\\ctfmon.exe", false},
        // The path as another program's argument.
        {L"ctfmon", L"C:\\Users\\Public\\tool.exe C:\\Windows\\System32\\ctfmon.exe", false},
        {L"ctfmon", L"\"C:\\Users\\Public\\tool.exe\" \"C:\\Windows\\System32\\ctfmon.exe\"", false},
        {L"ctfmon", L"cmd.exe /c C:\\Windows\\System32\\ctfmon.exe", false},
        // Without the row's arguments, or with others.
        {L"VMware User Process", L"\"C:\\Program Files\\VMware\\VMware Tools\\vmtoolsd.exe\"", false},
        {L"VMware User Process", L"\"C:\\Program Files\\VMware\\VMware Tools\\vmtoolsd.exe\" -n vmsvc", false},
        {L"VMware User Process", L"\"C:\\Program Files\\VMware\\VMware Tools\\vmtoolsd.exe\" -n vmusr -x", false},
        {L"VMware User Process", L"\"C:\\Program Files\\VMware\\VMware Tools\\vmtoolsd.exe\" -N VMUSR", false},
        // Under another value name where the row names one.
        {L"Health", L"C:\\Windows\\System32\\SecurityHealthSystray.exe", false},
        // Relative, bare, rooted on no drive, network and device paths, an unclosed quote.
        {L"SecurityHealth", L"SecurityHealthSystray.exe", false},
        {L"ctfmon", L"System32\\ctfmon.exe", false},
        {L"ctfmon", L"\\Windows\\System32\\ctfmon.exe", false},
        {L"ctfmon", L"C:Windows\\System32\\ctfmon.exe", false},
        {L"ctfmon", L"\\\\?\\C:\\Windows\\System32\\ctfmon.exe", false},
        {L"ctfmon", L"\\\\server\\c$\\Windows\\System32\\ctfmon.exe", false},
        {L"ctfmon", L"\"C:\\Windows\\System32\\ctfmon.exe", false},
        {L"ctfmon", L"", false},
    };
    for (const Case& one : cases)
        EXPECT_EQ(one.matches, plan::InNeverWaitTable(RunValue(one.value, one.command), folders))
            << std::string(one.command, one.command + wcslen(one.command));

    // A machine without a 32-bit system folder holds nothing there.
    const plan::SystemFolders native{L"C:\\Windows\\System32", L"", L"C:\\Program Files", L""};
    EXPECT_FALSE(plan::InNeverWaitTable(RunValue(L"VBoxTray", L"C:\\Windows\\SysWOW64\\VBoxTray.exe"), native));
    EXPECT_FALSE(plan::InNeverWaitTable(RunValue(L"VBoxTray", L"C:\\VBoxTray.exe"), native));
}

TEST(NeverWait, AComponentStartsAtLogOnUnlessChosenOtherwiseAndNoLookAlikeOrHeldItemDoes) {
    // On this machine's own folders, through the plan's level.
    const StartupEntry health = RunValue(L"SecurityHealth", L"%windir%\\system32\\SecurityHealthSystray.exe");
    EXPECT_EQ(StartLevel::AtLogOn, plan::LevelOf(health, std::nullopt));
    EXPECT_EQ(StartLevel::AfterDelay, plan::LevelOf(health, StartLevel::AfterDelay));
    EXPECT_EQ(StartLevel::AsSet, plan::LevelOf(RunValue(L"SecurityHealth", L"C:\\Users\\Public\\SecurityHealthSystray.exe"),
                                               std::nullopt));

    // The same name in the user's Run key starts beside it: both must be the component.
    StartupEntry both = health;
    both.origin = Origin::Both;
    both.otherCommands = {L"C:\\Users\\Public\\SecurityHealthSystray.exe"};
    EXPECT_EQ(StartLevel::AsSet, plan::LevelOf(both, std::nullopt));
    both.otherCommands = {L"\"%SystemRoot%\\System32\\SecurityHealthSystray.exe\""};
    EXPECT_EQ(StartLevel::AtLogOn, plan::LevelOf(both, std::nullopt));

    // A Startup folder item, even one named as a component, and a logon task never match.
    StartupEntry item = RunValue(L"ctfmon.exe", L"%windir%\\system32\\ctfmon.exe", Origin::UserFolder);
    item.item = L"%windir%\\system32\\ctfmon.exe";
    EXPECT_EQ(StartLevel::AsSet, plan::LevelOf(item, std::nullopt));
    EXPECT_EQ(StartLevel::AsSet,
              plan::LevelOf(RunValue(L"ctfmon", L"%windir%\\system32\\ctfmon.exe", Origin::TaskScheduler), std::nullopt));
    EXPECT_EQ(StartLevel::AtLogOn, plan::LevelOf(RunValue(L"ctfmon", L"%windir%\\system32\\ctfmon.exe"), std::nullopt));
}

}  // namespace

namespace {

// The administrator's StartAtLogOn lists: a file name in any folder, a full path that one file only.
TEST(NeverWait, TheAdministratorsListsStartTheirProgramsAtLogOnByFileNameOrFullPath) {
    const std::vector<std::wstring> listed = {L"VPNUI.exe", L"%ProgramFiles%\\Tool\\.\\tool.exe"};
    struct Case {
        const wchar_t* command;
        bool matches;
    };
    const Case cases[] = {
        {L"\"C:\\Program Files\\Vpn\\vpnui.exe\" -tray", true},
        {L"C:\\Users\\Public\\vpnui.exe", true},
        {L"C:\\Users\\Public\\vpnui.exe.bak.exe", false},
        {L"C:\\Program Files\\Tool\\tool.exe", true},
        {L"C:\\Program Files\\Other\\tool.exe", false},
        {L"tool.exe", false},
        {L"\\\\server\\share\\vpnui.exe", false},
    };
    for (const Case& one : cases)
        EXPECT_EQ(one.matches, plan::InProgramList(RunValue(L"Any", one.command), listed)) << "case " << (&one - cases);
    // A Startup folder item is not read for what it opens, and both commands of a name must be listed.
    StartupEntry item = RunValue(L"vpnui", L"C:\\vpnui.exe", Origin::UserFolder);
    EXPECT_FALSE(plan::InProgramList(item, listed));
    StartupEntry both = RunValue(L"Vpn", L"C:\\vpnui.exe", Origin::Both);
    both.otherCommands = {L"C:\\other.exe"};
    EXPECT_FALSE(plan::InProgramList(both, listed));

    // Through the policies' own keys, the machine's and the user's.
    RegistrySandbox sandbox;
    const StartupEntry vpn = RunValue(L"Vpn", L"C:\\Users\\Public\\vpnui.exe");
    const StartupEntry tool = RunValue(L"Tool", L"C:\\Users\\Public\\tool.exe");
    EXPECT_EQ(StartLevel::AsSet, plan::LevelOf(vpn, std::nullopt));
    const std::string list = RegistrySandbox::KeyText(keys::kPolicies).Str() + "\\StartAtLogOn";
    RegistrySandbox::Create(HKEY_LOCAL_MACHINE, list.c_str());
    RegistrySandbox::PutText(HKEY_LOCAL_MACHINE, list.c_str(), "1", "vpnui.exe");
    RegistrySandbox::Create(HKEY_CURRENT_USER, list.c_str());
    RegistrySandbox::PutText(HKEY_CURRENT_USER, list.c_str(), "1", "C:\\Users\\Public\\tool.exe");
    EXPECT_EQ(StartLevel::AtLogOn, plan::LevelOf(vpn, std::nullopt));
    EXPECT_EQ(StartLevel::AtLogOn, plan::LevelOf(tool, std::nullopt));
    EXPECT_EQ(StartLevel::AfterDelay, plan::LevelOf(vpn, StartLevel::AfterDelay));
}

}  // namespace
