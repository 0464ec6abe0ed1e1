#pragma once
#include <windows.h>

#include <chrono>
#include <mutex>
#include <string>

#include "win/ProtectedFolder.h"
#include "win/Scoped.h"

namespace win {

// The SID of this process's user as text ("S-1-5-21-..."); empty when unknown.
std::wstring CurrentUserSid();

// One lock for all the processes of one account, in every session (two log-ons
// of one account share one HKEY_CURRENT_USER): the file account.lock in the
// account's own local profile (%LOCALAPPDATA%\Quorvell Software\Pacewick), held
// open without sharing. Kernel objects' names are public and any account could
// make one first; only the account itself, SYSTEM and the administrators may
// make files in its profile. A process that ends lets go of the file with it.
// The folder is made or checked at the first Take (no link, a trusted owner)
// and held open from then on, so that later takes cost one open. The threads
// of one process queue on a mutex of their own, which hands the lock over at
// once; only another process's holder is waited for by trying the file again.
class AccountLock {
public:
    // One holding of the lock, from Take until destroyed.
    class Holding {
    public:
        bool Held() const { return static_cast<bool>(file_); }
        // Why it is not held: WAIT_TIMEOUT (another process of the account has
        // it), ERROR_ACCESS_DENIED (its folder is refused) or another error.
        DWORD Error() const { return error_; }
        // With ERROR_ACCESS_DENIED: what was refused.
        const std::string& Refusal() const { return why_; }

    private:
        friend class AccountLock;
        std::unique_lock<std::timed_mutex> process_;  // released after the file: declared first
        UniqueHandle file_;
        DWORD error_ = ERROR_SUCCESS;
        std::string why_;
    };

    AccountLock() = default;
    AccountLock(const AccountLock&) = delete;
    AccountLock& operator=(const AccountLock&) = delete;

    // Waits at most timeoutMs while another holds it. A lock is never entered
    // twice: a thread that holds it never takes it again.
    Holding Take(DWORD timeoutMs);

private:
    bool OpenFolder();

    std::timed_mutex process_;  // this process's holder; guards what follows too
    ProtectedFolder folder_;
    bool opened_ = false;
    bool fileChecked_ = false;
    std::string why_;
};

}  // namespace win
