#pragma once
// The keeper's log folder, %ProgramData%\Quorvell Software\Pacewick, made and
// checked as a protected folder (win/ProtectedFolder.h) and held open while the
// log is written through it.
#include <windows.h>

#include <string>

#include "win/ProtectedFolder.h"
#include "win/Scoped.h"

namespace keeper {

using win::HandleFacts;
using win::HandleFactsHook;
using win::HandleFactsReader;
using win::ReadHandleFacts;

class LogFolder {
public:
    // Makes or checks each folder below `root` (trusted) and holds it open.
    // False, with the reason in `why`, when a folder is refused or cannot be made.
    bool Open(const std::wstring& root, std::string* why);
    void Close() { folder_.Close(); }
    // A file of the folder, opened for appending. A planted one (a reparse
    // point, a hard link, another account's file) is deleted and made anew.
    win::UniqueHandle OpenFile(const wchar_t* name, std::string* why) const;
    // keeper.log becomes keeper.old.log (replacing it) and a new keeper.log starts.
    win::UniqueHandle Rotate(std::string* why) const;
    std::wstring PathOf(const wchar_t* name) const { return folder_.Path() + L"\\" + name; }
    // A file of the log's folder below `root`.
    static std::wstring PathBelow(const std::wstring& root, const wchar_t* name);

private:
    win::ProtectedFolder folder_;
};

constexpr const wchar_t* kLogName = L"keeper.log";
constexpr const wchar_t* kOldLogName = L"keeper.old.log";

}  // namespace keeper
