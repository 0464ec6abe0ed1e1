// Who changes the machine's keys: the keeper service whenever it is installed,
// running or not; the program itself only where none is installed.
#include <gtest/gtest.h>
#include <windows.h>

#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "app/MachineKeys.h"
#include "engine/model/StartupLists.h"
#include "keeper/link/KeeperProtocol.h"
#include "registry/RegistryKeys.h"

namespace {

using S = RegistrySandbox;

// The keeper service installed in the prefix's Service Control Manager, never
// started; removed again at the end of the scope.
class StoppedKeeperService {
public:
    StoppedKeeperService() {
        const std::string folder = FixtureDir();
        const std::wstring program = L"\"" + std::wstring(folder.begin(), folder.end()) + L"\\record_launch.exe\"";
        service_ = CreateServiceW(manager_, keeper::kServiceName, L"Pacewick Keeper (test)", DELETE,
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE,
                                  program.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
        EXPECT_TRUE(service_) << GetLastError();
    }
    ~StoppedKeeperService() {
        if (service_) {
            EXPECT_TRUE(DeleteService(service_)) << GetLastError();
            CloseServiceHandle(service_);
        }
        if (manager_) CloseServiceHandle(manager_);
    }
    StoppedKeeperService(const StoppedKeeperService&) = delete;
    StoppedKeeperService& operator=(const StoppedKeeperService&) = delete;

private:
    SC_HANDLE manager_ = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE service_ = nullptr;
};

}  // namespace

TEST(KeeperHandOver, LeavesTheMachineKeysToAnInstalledServiceThatIsStoppedAndKeepsThemItselfWithoutOne) {
    S sandbox;
    S::PutText(kMachine, keys::kRun, "machine tool", "C:\\m.exe");
    S::PutText(kUser, keys::kRun, "user tool", "C:\\u.exe");
    CStartupManager& manager = ManagerWithoutTasks();
    bool answers = true;
    {
        StoppedKeeperService service;
        EXPECT_TRUE(machinekeys::HandOverToKeeper(&answers));
        EXPECT_FALSE(answers);
        manager.TakeOver();
        EXPECT_EQ(S::Text("C:\\m.exe"), S::Get(kMachine, keys::kRun, "machine tool")) << "the service's to move";
        EXPECT_TRUE(S::ValueNames(kMachine, keys::kBackUp).empty());
        EXPECT_EQ(S::Text("C:\\u.exe"), S::Get(kUser, keys::kBackUp, "user tool")) << "the user's are taken over";
    }
    EXPECT_FALSE(machinekeys::HandOverToKeeper(&answers));
    EXPECT_FALSE(answers);
    manager.SetLists(~0u, ~0u);
}
