#pragma once
#include <windows.h>

#include <string>

#include "win/Scoped.h"

namespace win {

// The SID of this process's user as text ("S-1-5-21-..."); empty when unknown.
std::wstring CurrentUserSid();

// One lock for all the processes of one account, in every session (two log-ons
// of one account share one HKEY_CURRENT_USER): a mutex in the Global namespace,
// named by the account's SID, that only that account and SYSTEM may open.
// Held from Take until destroyed.
class AccountLock {
public:
    // Waits at most timeoutMs. A mutex left by a process that ended holding it
    // is taken over: each holder leaves the keys whole at every step.
    static AccountLock Take(DWORD timeoutMs);

    bool Held() const { return static_cast<bool>(mutex_); }
    // Why it is not held: WAIT_TIMEOUT, ERROR_ACCESS_DENIED (a name another
    // account made first) or another error.
    DWORD Error() const { return error_; }

    // The mutex's name for an account.
    static std::wstring NameFor(const std::wstring& sid);

private:
    struct HeldMutexTraits : HandleTraits {
        static void Close(Handle h) {
            ReleaseMutex(h);
            CloseHandle(h);
        }
    };
    Unique<HeldMutexTraits> mutex_;
    DWORD error_ = ERROR_SUCCESS;
};

}  // namespace win
