// The policy lists: what an administrator's values name, and what no program name can be.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "policy/PolicyLists.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;

TEST(PolicyLists, ReadTheNamedProgramsAndLeaveOutWhatNoProgramNameCanBe) {
    RegistrySandbox sandbox;
    const std::wstring listPath = std::wstring(keys::kPolicies) + L"\\LeaveAlone";
    const wchar_t* list = listPath.c_str();
    EXPECT_TRUE(policy::ReadProgramList(HKEY_LOCAL_MACHINE, keys::kPolicies, L"LeaveAlone").programs.empty());

    S::Create(HKEY_LOCAL_MACHINE, list);
    S::PutText(HKEY_LOCAL_MACHINE, list, "1", "vpnui.exe");
    S::PutText(HKEY_LOCAL_MACHINE, list, "2", "C:\\Program Files\\Tool\\tool.exe");
    S::Put(HKEY_LOCAL_MACHINE, list, "number", S::Dword(7));
    S::PutText(HKEY_LOCAL_MACHINE, list, "empty", "");
    S::PutText(HKEY_LOCAL_MACHINE, list, "long", std::string(MAX_PATH + 1, 'a'));
    // UTF-16 as written by the policy engine: text past a NUL is not part of the name, an odd last byte
    // is no character, and only REG_SZ names a program.
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExW(HKEY_LOCAL_MACHINE, listPath.c_str(), 0, KEY_SET_VALUE, &key));
    const wchar_t cut[] = L"a.exe\0b.exe", expandable[] = L"%windir%\\x.exe";
    RegSetValueExW(key, L"cut", 0, REG_SZ, reinterpret_cast<const BYTE*>(cut), sizeof cut + 1 - sizeof(wchar_t));
    RegSetValueExW(key, L"expand", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>(expandable), sizeof expandable);
    RegCloseKey(key);

    const policy::ProgramList read = policy::ReadProgramList(HKEY_LOCAL_MACHINE, keys::kPolicies, L"LeaveAlone");
    std::vector<std::wstring> programs = read.programs, ignored = read.ignored;
    std::sort(programs.begin(), programs.end());
    std::sort(ignored.begin(), ignored.end());
    EXPECT_EQ((std::vector<std::wstring>{L"C:\\Program Files\\Tool\\tool.exe", L"a.exe", L"vpnui.exe"}), programs);
    EXPECT_EQ((std::vector<std::wstring>{L"empty", L"expand", L"long", L"number"}), ignored);
    // The user's side of the same list is its own.
    EXPECT_TRUE(policy::ReadProgramList(HKEY_CURRENT_USER, keys::kPolicies, L"LeaveAlone").programs.empty());

    // What is said at the start: each left-out value of a list where the table allows the list, with its place.
    const std::wstring userLists[] = {std::wstring(keys::kPolicies) + L"\\LeaveAlone",
                                      std::wstring(keys::kPolicies) + L"\\StartAtLogOn"};
    for (const std::wstring& user : userLists) {
        S::Create(HKEY_CURRENT_USER, user.c_str());
        S::Put(HKEY_CURRENT_USER, user.c_str(), "bad", S::Dword(1));
    }
    std::vector<std::wstring> said;
    for (const policy::IgnoredListValue& value : policy::IgnoredListValues())
        said.push_back((value.machine ? L"machine " : L"user ") + value.value);
    std::sort(said.begin(), said.end());
    EXPECT_EQ((std::vector<std::wstring>{L"machine LeaveAlone\\empty", L"machine LeaveAlone\\expand",
                                         L"machine LeaveAlone\\long", L"machine LeaveAlone\\number",
                                         L"user StartAtLogOn\\bad"}),
              said)
        << "a user's LeaveAlone is no policy: nothing to say of it";
}

}  // namespace
