#pragma once
// Moving files between a Startup folder and its BackUp folder without losing
// one: a copy is written under a temporary name, made identical (bytes,
// attributes, creation and last-write times), checked, and only then renamed to
// the item's name; a file is deleted only while an identical copy is elsewhere.
#include <windows.h>

#include <functional>
#include <string>

#include "win/ProtectedFolder.h"
#include "win/Scoped.h"

namespace lists {

// The attributes a copy carries (those a file's owner can set).
constexpr DWORD kCopiedAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                    FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The sub-folder that holds copies being written (Explorer starts no sub-folder's files).
constexpr const wchar_t* kCopyingFolder = L"~Pacewick copying";

// A full path in its \\?\ form, for paths that may pass MAX_PATH.
std::wstring LongPath(const std::wstring& path);

// Opens a file (not a folder, not a link) to read it while others may only
// read it; `access` adds rights (DELETE to delete it through the handle).
win::UniqueHandle OpenFileHandle(const std::wstring& path, DWORD access = 0);

// True when both open files have the same size, copied attributes, creation
// and last-write times, bytes, own rights and named streams (lists/ItemExtras.h).
bool Identical(HANDLE one, HANDLE other);

// Says that nothing moves through a refused folder, and why (`why` empty: it is missing, nothing is said).
void SayRefused(const char* folder, const std::string& why);

// The copying sub-folder of an open folder (a Startup or a BackUp folder) for
// one operation: opened when first needed (made only for a copy or a
// deletion), without following links, checked on its handle like its folder,
// and held open until the operation ends; then removed when empty. A refused
// one is said once, and nothing is written or deleted in it.
class CopyingFolder {
public:
    CopyingFolder(const win::ProtectedFolder& folder, win::Owners owners) : folder_(folder), owners_(owners) {}
    ~CopyingFolder();
    CopyingFolder(const CopyingFolder&) = delete;
    CopyingFolder& operator=(const CopyingFolder&) = delete;
    // The open sub-folder's path; empty when it is missing (and not made) or refused.
    std::wstring Open(win::IfMissing missing);
    // The folder it belongs to, and where that is, checked.
    const std::wstring& Folder() const { return folder_.Path(); }
    const std::wstring& FolderFinal() const { return folder_.Final(); }

private:
    const win::ProtectedFolder& folder_;
    win::Owners owners_;
    win::ProtectedFolder copying_;
    bool refused_ = false;
};

// Deletes the file opened by `file` (with DELETE and FILE_WRITE_ATTRIBUTES) as
// `path`, a file of the copying folder's folder. It is moved into the copying
// folder first, out of the list, so that a kill before the deletion leaves it
// whole where it was or a leftover, never changed where it was; its read-only
// attribute is cleared there. When it cannot be deleted it is put back as it was.
// A file that is not in that folder (a link to another, which Wine opens as its
// target whatever the flags) is not touched.
bool Discard(win::UniqueHandle file, const std::wstring& path, CopyingFolder& copying);

// What a copy does with an older file of its name: replace it, or leave it (no copy is placed).
enum class IfExisting { Replace, Keep };

// Writes an identical copy of `from` as `name` in the copying folder's folder
// by way of a temporary in the copying folder; an older file of that name is
// replaced or stays, as `existing` says. True when the folder holds the copy, checked.
// When no copy can keep the file's own rights or named streams, `why` (when
// given) is set to the reason its item stays, for its line.
bool PlaceExactCopy(const std::wstring& from, CopyingFolder& copying, const std::wstring& name, IfExisting existing,
                    const char** why = nullptr);

// Deletes what a killed copy left in the copying folder, if there is one.
void RemoveLeftovers(CopyingFolder& copying);

// Calls `use` with the name of every file (no folder) directly in `folder`.
void ForEachFile(const std::wstring& folder, const std::function<void(const std::wstring& name)>& use);

}  // namespace lists
