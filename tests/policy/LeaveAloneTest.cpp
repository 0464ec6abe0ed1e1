// The LeaveAlone list: which commands' programs it names, and whose list counts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "policy/ListedPrograms.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;

std::wstring SystemRoot() {
    wchar_t root[MAX_PATH] = {};
    GetEnvironmentVariableW(L"SystemRoot", root, MAX_PATH);
    return root;
}

TEST(LeaveAlone, NamesACommandsProgramByItsWholeFileNameOrFullPathAndNeverByItsArguments) {
    ASSERT_FALSE(SystemRoot().empty());
    const policy::ListedPrograms list({L"vpnui.exe", L"%SystemRoot%\\Tools\\Agent.EXE",
                                       L"C:\\Program Files\\Tool\\tool.exe"});
    struct Case {
        std::wstring command;
        bool named;
    };
    const std::vector<Case> cases = {
        {L"\"C:\\Program Files\\VPN Client\\vpnui.exe\" /tray -x", true},
        {L"  C:\\VPN\\VPNUI.EXE -minimized", true},
        {L"vpnui.exe", true},
        {L"\"vpnui.exe\"", true},
        {L"C:/VPN/vpnui.exe", true},
        {L"C:\\VPN\\myvpnui.exe", false},
        {L"\"C:\\VPN\\vpnui.exe.old\"", false},
        {L"C:\\VPN\\vpnui.exe.old.exe", false},
        {L"C:\\launcher.exe C:\\VPN\\vpnui.exe", false},
        {L"\"C:\\launcher.exe\" \"C:\\VPN\\vpnui.exe\"", false},
        {L"rundll32.exe vpnui.exe,Start", false},
        {L"\"C:\\VPN\\vpnui.exe", false},  // an unclosed quote starts nothing Windows would name
        {L"%SystemRoot%\\tools\\agent.exe /quiet", true},
        {L"\"" + SystemRoot() + L"\\TOOLS\\agent.exe\"", true},
        {L"\"" + SystemRoot() + L"\\System32\\..\\Tools\\agent.exe\"", true},
        {L"D:\\Tools\\agent.exe", false},  // a full path names the one program, not its file name elsewhere
        {L"agent.exe", false},
        {L"C:\\Program Files\\Tool\\tool.exe --start", true},
        {L"\"c:\\program files\\tool\\TOOL.exe\"", true},
        {L"\"C:\\Program Files\\Tool\\Sub\\tool.exe\"", false},
        {L"", false},
        {L"   ", false},
    };
    for (const Case& one : cases) EXPECT_EQ(one.named, list.Names(one.command)) << U8(one.command);
    EXPECT_FALSE(policy::ListedPrograms().Names(L"vpnui.exe"));
}

TEST(LeaveAlone, OnlyTheMachinesListCounts) {
    RegistrySandbox sandbox;
    const std::string list = std::string(U8(keys::kPolicies)) + "\\LeaveAlone";
    S::Create(kUser, list.c_str());
    S::PutText(kUser, list.c_str(), "1", "vpnui.exe");
    EXPECT_TRUE(policy::ListedPrograms::LeaveAloneOfMachine().Empty());
    S::Create(kMachine, list.c_str());
    S::PutText(kMachine, list.c_str(), "1", "agent.exe");
    const policy::ListedPrograms machine = policy::ListedPrograms::LeaveAloneOfMachine();
    EXPECT_TRUE(machine.Names(L"C:\\a\\agent.exe"));
    EXPECT_FALSE(machine.Names(L"C:\\a\\vpnui.exe"));
}

}  // namespace
