#include "keeper/CallerCheck.h"

#include "keeper/KeeperLog.h"
#include "win/Scoped.h"

namespace keeper {

bool CallerIsElevatedAdministrator(HANDLE pipe) {
    // A client chooses how it can be identified (the anonymous level opens no
    // token): these refusals are capped like the others, or one could fill the log.
    if (!ImpersonateNamedPipeClient(pipe)) {
        LogRefusal("Caller check: the caller cannot be identified (%lu)", GetLastError());
        return false;
    }
    win::UniqueHandle token;
    const BOOL opened = OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, token.Put());
    if (!RevertToSelf()) {
        // The thread would go on as the caller: end rather than serve as it.
        Log("Caller check: RevertToSelf failed (%lu), the service ends", GetLastError());
        ExitProcess(1);
    }
    if (!opened) {
        LogRefusal("Caller check: the caller's token cannot be read (%lu)", GetLastError());
        return false;
    }
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (!GetTokenInformation(token.Get(), TokenElevation, &elevation, sizeof elevation, &size) ||
        !elevation.TokenIsElevated)
        return false;
    BYTE sidBuffer[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sidBuffer;
    BOOL member = FALSE;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sidBuffer, &sidSize) ||
        !CheckTokenMembership(token.Get(), sidBuffer, &member))
        return false;
    return member != FALSE;
}

}  // namespace keeper
