#include "keeper/ServiceHardening.h"

#include <vector>

#include "keeper/KeeperLog.h"
#include "win/Scoped.h"

namespace keeper {
namespace {

constexpr DWORD kRestartDelayMs = 5000;
constexpr DWORD kResetAfterSeconds = 24 * 60 * 60;

}  // namespace

bool DropUnusedPrivileges(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    LUID kept{};
    if (size < sizeof(TOKEN_PRIVILEGES) || !GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size) ||
        !LookupPrivilegeValueW(nullptr, L"SeChangeNotifyPrivilege", &kept))
        return false;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    LUID_AND_ATTRIBUTES* list = privileges->Privileges;
    DWORD dropped = 0;
    for (DWORD at = 0; at < privileges->PrivilegeCount; ++at) {
        if (list[at].Luid.LowPart == kept.LowPart && list[at].Luid.HighPart == kept.HighPart) continue;
        list[dropped].Luid = list[at].Luid;
        list[dropped++].Attributes = SE_PRIVILEGE_REMOVED;
    }
    privileges->PrivilegeCount = dropped;
    // AdjustTokenPrivileges succeeds with ERROR_NOT_ALL_ASSIGNED when it did not do everything.
    return dropped == 0 ||
           (AdjustTokenPrivileges(token, FALSE, privileges, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS);
}

bool SetFailureActions(SC_HANDLE service) {
    // The service manager repeats the last action for every further failure: none, after three restarts.
    SC_ACTION actions[] = {{SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_RESTART, kRestartDelayMs},
                           {SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_NONE, 0}};
    SERVICE_FAILURE_ACTIONSW failure{};
    failure.dwResetPeriod = kResetAfterSeconds;
    failure.cActions = sizeof actions / sizeof actions[0];
    failure.lpsaActions = actions;
    return ChangeServiceConfig2W(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failure) != FALSE;
}

void HardenService(const wchar_t* serviceName) {
    const win::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const win::UniqueService service(
        manager ? OpenServiceW(manager.Get(), serviceName, SERVICE_CHANGE_CONFIG | SERVICE_START) : nullptr);
    if (!service || !SetFailureActions(service.Get())) Log("Restart after a failure not set (%lu)", GetLastError());
    win::UniqueHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put()) ||
        !DropUnusedPrivileges(token.Get()))
        Log("Unused privileges not dropped (%lu)", GetLastError());
}

}  // namespace keeper
