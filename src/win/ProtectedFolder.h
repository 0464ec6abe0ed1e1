#pragma once
// A chain of folders below a trusted root (%ProgramData%) that any user may have
// made first: each is made with a protected DACL, or checked on the handle it
// was opened by. A reparse point, or a folder owned by an untrusted account, is
// refused. The folders stay open without FILE_SHARE_DELETE, so that none can be
// renamed or replaced while files are written through them.
#include <windows.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <vector>

#include "win/Scoped.h"

namespace win {

// What is checked of a folder or a file, read from its open handle.
struct HandleFacts {
    DWORD attributes = 0;
    DWORD links = 0;
    bool trustedOwner = false;  // SYSTEM, the administrators or the account this process runs as
    bool adminOwner = false;    // SYSTEM or the administrators
};
bool ReadHandleFacts(HANDLE handle, HandleFacts* facts);

// The reader used: ReadHandleFacts, or a test's, which can show what Wine
// cannot make (a folder owned by another account, a reparse point).
using HandleFactsReader = bool (*)(HANDLE handle, const std::wstring& path, HandleFacts* facts);
std::atomic<HandleFactsReader>& HandleFactsHook();

// Whose folders and files are trusted: those of SYSTEM and the administrators,
// and with OwnAccountToo those of this process's account (the keeper's, which is
// SYSTEM; under Wine every file belongs to the one user).
enum class Owners { AdminsOnly, OwnAccountToo };

// A folder that is a folder, or a file with no other name; neither a reparse
// point, both owned by a trusted account.
bool Acceptable(HANDLE handle, const std::wstring& path, bool folder, Owners owners);

// True when `descriptor` holds exactly `dacl`, protected from inheritance: a
// folder whose rights need not be set again.
bool IsProtectedDacl(PSECURITY_DESCRIPTOR descriptor, const ACL* dacl);

class ProtectedFolder {
public:
    // Makes or checks each of `names`, one below the other, below `root`, and
    // holds them open; the last one gets the protected DACL `security` (SDDL),
    // which any it makes is made with. Without `security` the folders are only
    // checked and opened for reading (by an account that may not change them).
    // False, with the reason in `why`, when a folder is refused or cannot be made.
    bool Open(const std::wstring& root, const std::vector<std::wstring>& names, const wchar_t* security,
              Owners owners, std::string* why);
    void Close() { folders_.clear(); }
    const std::wstring& Path() const { return path_; }

private:
    std::wstring path_;
    std::vector<UniqueHandle> folders_;
};

}  // namespace win
