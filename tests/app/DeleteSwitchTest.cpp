// The switch of the elevated copy that Delete entry starts when the keeper
// service refuses an unelevated caller. Without a keeper (as here) the copy
// deletes through the engine: the name it is given, from the machine rows it is
// given, and nothing else, whatever the name holds.
#include <gtest/gtest.h>

#include <string>

#include "RegistrySandbox.h"
#include "app/MachineKeys.h"
#include "engine/StartupManager.h"
#include "engine/model/StartupLists.h"
#include "registry/RegistryKeys.h"

using S = RegistrySandbox;

TEST(DeleteSwitch, DeletesExactlyTheNamedEntryFromTheGivenMachineRowsAndNothingOnABadSwitch) {
    S sandbox;
    CStartupManager::GetInstance()->SetTaskSchedulerFactory([](ITaskScheduler**) { return E_FAIL; });
    const std::string name = "Tool \"quoted\" \\ %PATH% Ünï 名前";
    const std::wstring wide = L"Tool \"quoted\" \\ %PATH% \u00dcn\u00ef \u540d\u524d";
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) S::PutText(hive, keys::kBackUp, name.c_str(), "C:\\t.exe");
    S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp32, name.c_str(), "C:\\t32.exe");
    S::PutText(HKEY_LOCAL_MACHINE, keys::kBackUp32, "Tool", "C:\\other.exe");
    const auto kept = [&](HKEY hive, const char* path, const char* value) { return S::Get(hive, path, value).has_value(); };

    const std::wstring program = L"\"C:\\Program Files\\Quorvell Software\\Pacewick\\pacewick.exe\" ";
    // Not the switch: start-up goes on.
    EXPECT_FALSE(machinekeys::HandleDeleteSwitch((program + L"-UNINSTALL").c_str()));
    // The switch, malformed: start-up stops, nothing is deleted.
    for (const wchar_t* bad : {L"-DELETEMACHINEENTRY", L"-DELETEMACHINEENTRY 4 00", L"-DELETEMACHINEENTRY 4 00G1",
                                    L"-DELETEMACHINEENTRY x4 0054", L"-DELETEMACHINEENTRY 4 0000",
                                    L"-DELETEMACHINEENTRY 1 0054006F006F006C"}) {  // row 0: the user's, never
        EXPECT_TRUE(machinekeys::HandleDeleteSwitch((program + bad).c_str())) << static_cast<const void*>(bad);
    }
    EXPECT_TRUE(kept(HKEY_LOCAL_MACHINE, keys::kBackUp32, "Tool"));
    EXPECT_TRUE(kept(HKEY_CURRENT_USER, keys::kBackUp, name.c_str()));

    // The 32-bit row only: the 64-bit row and the user's keep the name, "Tool" stays.
    EXPECT_TRUE(machinekeys::HandleDeleteSwitch(
        (program + machinekeys::DeleteSwitchParameters(ListBit(2), wide)).c_str()));
    EXPECT_FALSE(kept(HKEY_LOCAL_MACHINE, keys::kBackUp32, name.c_str()));
    EXPECT_TRUE(kept(HKEY_LOCAL_MACHINE, keys::kBackUp32, "Tool"));
    EXPECT_TRUE(kept(HKEY_LOCAL_MACHINE, keys::kBackUp, name.c_str()));
    EXPECT_TRUE(kept(HKEY_CURRENT_USER, keys::kBackUp, name.c_str()));
    // Both machine rows and the user's asked: the user's row is never touched by the switch.
    EXPECT_TRUE(machinekeys::HandleDeleteSwitch(
        (program + machinekeys::DeleteSwitchParameters(ListBit(0) | ListBit(1) | ListBit(2), wide)).c_str()));
    EXPECT_FALSE(kept(HKEY_LOCAL_MACHINE, keys::kBackUp, name.c_str()));
    EXPECT_TRUE(kept(HKEY_CURRENT_USER, keys::kBackUp, name.c_str()));
}
