#pragma once
// What the keeper does to itself when the Service Control Manager starts it.
#include <windows.h>

namespace keeper {

// Removes from the token every privilege but SeChangeNotifyPrivilege (path
// traversal), so that no flaw in the service can lend one to anybody. It needs
// none: SYSTEM's own rights cover the machine's keys and the log's folder, and
// its pipe clients are checked at the identification level, which needs no
// SeImpersonatePrivilege.
bool DropUnusedPrivileges(HANDLE token);

// Restarted a few seconds after it fails, three times; the count starts again
// after a day. The handle needs SERVICE_CHANGE_CONFIG and SERVICE_START.
bool SetFailureActions(SC_HANDLE service);

// Both, for this process and the named service; each failure is logged.
void HardenService(const wchar_t* serviceName);

}  // namespace keeper
