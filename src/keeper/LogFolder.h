#pragma once
// The keeper's log folder, %ProgramData%\Quorvell Software\Pacewick. Any user
// may make folders in %ProgramData% before the package is installed, so each
// folder below it is made by the keeper with a protected DACL, or checked on
// the handle it opened: a reparse point, or a folder owned by any account but
// SYSTEM, the administrators or the keeper's own, is refused. The folders stay
// open without FILE_SHARE_DELETE, so that none can be renamed or replaced while
// the log is written through them.
#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

#include "win/Scoped.h"

namespace keeper {

// What the log checks of a folder or a file, read from its open handle.
struct HandleFacts {
    DWORD attributes = 0;
    DWORD links = 0;
    bool trustedOwner = false;  // SYSTEM, the administrators or the account this process runs as
};
bool ReadHandleFacts(HANDLE handle, HandleFacts* facts);

// The reader used: ReadHandleFacts, or a test's, which can show what Wine
// cannot make (a folder owned by another account, a reparse point).
using HandleFactsReader = bool (*)(HANDLE handle, const std::wstring& path, HandleFacts* facts);
std::atomic<HandleFactsReader>& HandleFactsHook();

class LogFolder {
public:
    // Makes or checks each folder below `root` (trusted) and holds it open.
    // False, with the reason in `why`, when a folder is refused or cannot be made.
    bool Open(const std::wstring& root, std::string* why);
    void Close() { folders_.clear(); }
    // A file of the folder, opened for appending. A planted one (a reparse
    // point, a hard link, another account's file) is deleted and made anew.
    win::UniqueHandle OpenFile(const wchar_t* name, std::string* why) const;
    // keeper.log becomes keeper.old.log (replacing it) and a new keeper.log starts.
    win::UniqueHandle Rotate(std::string* why) const;
    std::wstring PathOf(const wchar_t* name) const { return path_ + L"\\" + name; }
    // A file of the log's folder below `root`.
    static std::wstring PathBelow(const std::wstring& root, const wchar_t* name);

private:
    std::wstring path_;
    std::vector<win::UniqueHandle> folders_;
};

constexpr const wchar_t* kLogName = L"keeper.log";
constexpr const wchar_t* kOldLogName = L"keeper.old.log";

}  // namespace keeper
