#include "lists/StartupFolder.h"

#include <shlobj.h>

#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "lists/ExactCopy.h"
#include "registry/RegistryKeys.h"
#include "sources/ExplorerSwitches.h"
#include "sources/ShellLink.h"
#include "win/Diagnostics.h"
#include "win/KnownFolder.h"
#include "win/Text.h"

namespace lists {
namespace {

// SYSTEM and the administrators: everything; users: read and execute (the held
// files are listed and started by every account). Protected: nothing is
// inherited from %ProgramData%, where users may make files.
constexpr const wchar_t* kMachineSecurity =
    L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)";
constexpr const wchar_t* kBelowRoot[] = {L"Quorvell Software", L"Pacewick", L"StartupBackUp"};
// How long a restore tries again, in all, the items that another program holds open.
constexpr ULONGLONG kInUseWaitMs = 3000;
constexpr DWORD kInUseRetryMs = 250;

constexpr const char* kSwitchedOff = "it is switched off";
constexpr const char* kNoIdenticalCopy = "no identical copy holds it";
constexpr const char* kCannotMove = "this account cannot move it from its folder";
constexpr const char* kDifferentInStartup = "a different file of its name is in the Startup folder";
constexpr const char* kInUse = "another program has it open";

bool IsDesktopIni(const std::wstring& name) {
    return CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), L"desktop.ini", -1, TRUE) ==
           CSTR_EQUAL;
}

std::string DisplayName(const std::wstring& name) { return win::Utf8ForDisplay(FitShown(name)); }

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(LongPath(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::unique_ptr<StartupSource> Make(Scope scope, Origin origin, REFKNOWNFOLDERID startup, REFKNOWNFOLDERID root,
                                    HKEY approvedRoot) {
    const std::wstring startupFolder = win::KnownFolder(startup), rootFolder = win::KnownFolder(root);
    if (startupFolder.empty() || rootFolder.empty()) return nullptr;
    return std::make_unique<StartupFolderSource>(scope, origin, startupFolder, StartupBackUpFolder(rootFolder),
                                                 approvedRoot);
}

// Whether `leave` names the program of the file at `path`: a shortcut's target
// (read within its own lengths, never resolved), any other file itself.
bool Names(const LeftAlone& leave, const std::wstring& path) {
    if (!leave) return false;
    if (!shell_link::IsShortcut(path)) return leave(L"\"" + path + L"\"");
    const std::optional<shell_link::Shortcut> shortcut = shell_link::Read(path);
    return shortcut && leave(L"\"" + shortcut->target + L"\"");
}

}  // namespace

// The folders of one operation, each opened without following links, checked
// on its handle and held open until it ends (the copying folders first).
struct StartupFolderSource::Places {
    explicit Places(const win::Owners& owners) : startupCopying(startup, owners), backUpCopying(backUp, owners) {}
    win::ProtectedFolder startup, backUp;
    CopyingFolder startupCopying, backUpCopying;
};

// Whose folders are trusted here: SYSTEM's, the administrators' and, for a
// user's Pacewick, the user's (the keeper's own account is SYSTEM).
StartupFolderSource::StartupFolderSource(Scope scope, Origin origin, std::wstring startupFolder,
                                         std::wstring backUpFolder, HKEY approvedRoot)
    : scope_(scope),
      origin_(origin),
      startup_(std::move(startupFolder)),
      backUp_(std::move(backUpFolder)),
      approvedRoot_(approvedRoot),
      backUpRoot_(backUp_),
      owners_(win::Owners::OwnAccountToo) {
    for (std::size_t up = 0; up < std::size(kBelowRoot) && backUpRoot_.find(L'\\') != std::wstring::npos; ++up) {
        backUpNames_.insert(backUpNames_.begin(), backUpRoot_.substr(backUpRoot_.rfind(L'\\') + 1));
        backUpRoot_.resize(backUpRoot_.rfind(L'\\'));
    }
    const bool below = !win::NamesBelow(startup_, backUpRoot_).empty();
    const std::size_t split = below ? backUpRoot_.size() : startup_.rfind(L'\\');
    startupRoot_ = startup_.substr(0, split);
    if (split != std::wstring::npos) startupNames_ = {startup_.substr(split + 1)};
    backUpRootFinal_ = win::ProtectedFolder::RootFinal(backUpRoot_);
    startupRootFinal_ = win::ProtectedFolder::RootFinal(startupRoot_);
}

StartupFolderSource::StartupFolderSource(std::wstring startupFolder, std::wstring backUpFolder, HKEY approvedRoot,
                                         const std::wstring& trustedRoot, win::Owners owners)
    : scope_(Scope::User),
      origin_(Origin::UserFolder),
      startup_(std::move(startupFolder)),
      backUp_(std::move(backUpFolder)),
      approvedRoot_(approvedRoot),
      backUpRoot_(trustedRoot),
      startupRoot_(trustedRoot),
      owners_(std::move(owners)) {
    // Each name is opened and held by itself: a folder on the way that its
    // account swaps for a link meanwhile cannot take the system elsewhere.
    // Folders not below the root get no names, which opens nothing.
    backUpNames_ = win::NamesBelow(backUp_, trustedRoot);
    startupNames_ = win::NamesBelow(startup_, trustedRoot);
    backUpRootFinal_ = startupRootFinal_ = win::ProtectedFolder::RootFinal(trustedRoot);
}

// The roots are trusted and found once, when the source is made (a root that
// moves later only has its folders refused); one not there then, at each use.
std::wstring StartupFolderSource::RootFinal(const std::wstring& root, const std::wstring& known) const {
    return known.empty() ? win::ProtectedFolder::RootFinal(root) : known;
}

bool StartupFolderSource::OpenStartup(Places& places) const {
    std::string why;
    // A link on its path could take every item from, or put it back into, another folder.
    if (places.startup.Open(startupRoot_, RootFinal(startupRoot_, startupRootFinal_), startupNames_,
                            win::IfMissing::Fail, nullptr, owners_, &why))
        return true;
    SayRefused(scope_ == Scope::User ? "this account's Startup folder" : "all users' Startup folder", why);
    return false;
}

bool StartupFolderSource::OpenBackUp(win::IfMissing missing, Places& places) const {
    std::string why;
    // A folder someone else made first, or a link, could be changed by another: nothing goes in or out of it.
    const wchar_t* security = scope_ == Scope::Machine && missing == win::IfMissing::Make ? kMachineSecurity : nullptr;
    if (places.backUp.Open(backUpRoot_, RootFinal(backUpRoot_, backUpRootFinal_), backUpNames_, missing, security,
                           owners_, &why))
        return true;
    SayRefused(scope_ == Scope::User ? "this account's BackUp folder" : "the machine's BackUp folder", why);
    return false;
}

std::wstring StartupFolderSource::HeldName(const std::wstring& item) const {
    const std::size_t length = backUp_.size();
    if (item.size() <= length + 1 || item[length] != L'\\' ||
        CompareStringOrdinal(item.c_str(), static_cast<int>(length), backUp_.c_str(), static_cast<int>(length),
                             TRUE) != CSTR_EQUAL)
        return std::wstring();
    std::wstring name = item.substr(length + 1);
    // One name of the folder: no other folder, no stream of a file, no folder above.
    if (name.find_first_of(L"\\/:") != std::wstring::npos || name == L"." || name == L"..")
        return std::wstring();
    return name;
}

bool StartupFolderSource::Hold(const std::wstring& name, Places& places, const Reporter& report) const {
    const std::wstring item = startup_ + L"\\" + name;
    // An item this account may not delete is not copied: held as well, it
    // would start twice, by Windows and by Pacewick (a standard user
    // before the all-users folder, with no service to keep it).
    if (!OpenFileHandle(item, DELETE | FILE_WRITE_ATTRIBUTES))
        return report(ItemHappened::Kept, ItemPlace::StartUp, DisplayName(name), kCannotMove), false;
    const win::UniqueHandle original = OpenFileHandle(item), held = OpenFileHandle(backUp_ + L"\\" + name);
    if (original && held && Identical(original.Get(), held.Get())) return true;  // held already
    const char* why = nullptr;
    const bool copied = PlaceExactCopy(item, places.backUpCopying, name, IfExisting::Replace, &why);
    if (why) return report(ItemHappened::Kept, ItemPlace::StartUp, DisplayName(name), why), false;
    report(copied ? ItemHappened::Copied : ItemHappened::CopyFailed, ItemPlace::Held, DisplayName(name));
    return copied;
}

StartupEntry StartupFolderSource::EntryOf(const std::wstring& name, ListSet bit) const {
    StartupEntry entry;
    entry.name = FitShown(name);
    entry.item = backUp_ + L"\\" + name;
    entry.command = FitShown(entry.item);
    entry.origin = origin_;
    entry.lists = bit;
    return entry;
}

// The files Windows starts from the folder, each one not switched off.
template <typename Use>
void StartupFolderSource::ForEachStarted(const Reporter& report, Use use) const {
    const StartupSwitches switches(approvedRoot_, keys::kApprovedStartupFolder);
    ForEachFile(startup_, [&](const std::wstring& name) {
        if (IsDesktopIni(name)) return;
        if (switches.Off(name)) return report(ItemHappened::Kept, ItemPlace::StartUp, DisplayName(name), kSwitchedOff);
        use(name);
    });
}

void StartupFolderSource::BackUp(const Reporter& report) {
    Places places(owners_);
    if (!OpenStartup(places) || !OpenBackUp(win::IfMissing::Make, places)) return;
    RemoveLeftovers(places.startupCopying);
    RemoveLeftovers(places.backUpCopying);
    ForEachStarted(report, [&](const std::wstring& name) { Hold(name, places, report); });
}

// The names are read first, so that no deletion meets the folder's walk; each
// file is then held and removed before the next, as BackUp and Remove do. The
// BackUp folder is opened (and made) only when there is something to hold.
void StartupFolderSource::MoveIn(EntryList& moved, ListSet bit, const Reporter& report, const StopAsked& stop,
                                 const LeftAlone& leave) {
    Places places(owners_);
    if (!OpenStartup(places)) return;
    RemoveLeftovers(places.startupCopying);
    std::vector<std::wstring> names;
    ForEachStarted(report, [&](const std::wstring& name) {
        if (Names(leave, startup_ + L"\\" + name))
            return report(ItemHappened::Kept, ItemPlace::StartUp, DisplayName(name), kLeftAloneReason);
        names.push_back(name);
    });
    if (names.empty() || !OpenBackUp(win::IfMissing::Make, places)) return;
    RemoveLeftovers(places.backUpCopying);
    for (const std::wstring& name : names) {
        if (stop && stop()) return;
        if (!Hold(name, places, report)) continue;
        moved.InsertFront(EntryOf(name, bit));
        Remove(name, places, report);
    }
}

void StartupFolderSource::ListHeld(EntryList& list, ListSet bit, const Reporter& report) {
    Places places(owners_);
    if (!OpenBackUp(win::IfMissing::Fail, places)) return;
    const StartupSwitches switches(approvedRoot_, keys::kApprovedStartupFolder);
    ForEachFile(backUp_, [&](const std::wstring& name) {
        if (switches.Off(name)) return report(ItemHappened::NotListed, ItemPlace::Held, DisplayName(name), kSwitchedOff);
        list.InsertFront(EntryOf(name, bit));
    });
}

void StartupFolderSource::Remove(const std::wstring& name, Places& places, const Reporter& report) const {
    const std::string shown = DisplayName(name);
    const win::UniqueHandle held = OpenFileHandle(backUp_ + L"\\" + name);
    // Opened for deletion and closed to writers: the item checked is the one deleted.
    const std::wstring path = startup_ + L"\\" + name;
    win::UniqueHandle item = OpenFileHandle(path, DELETE | FILE_WRITE_ATTRIBUTES);
    if (!item) return report(ItemHappened::DeleteFailed, ItemPlace::StartUp, shown);
    if (!held || !Identical(item.Get(), held.Get()))
        return report(ItemHappened::Kept, ItemPlace::StartUp, shown, kNoIdenticalCopy);
    const bool deleted = Discard(std::move(item), path, places.startupCopying);
    report(deleted ? ItemHappened::Deleted : ItemHappened::DeleteFailed, ItemPlace::StartUp, shown);
}

void StartupFolderSource::RemoveHeld(const EntryList& listed, ListSet bit, const Reporter& report) {
    std::vector<std::wstring> names;
    for (const StartupEntry& entry : listed) {
        const std::wstring name = (entry.lists & bit) ? HeldName(entry.item) : std::wstring();
        if (!name.empty()) names.push_back(name);
    }
    Places places(owners_);
    if (names.empty() || !OpenStartup(places) || !OpenBackUp(win::IfMissing::Fail, places)) return;
    RemoveLeftovers(places.startupCopying);
    const StartupSwitches switches(approvedRoot_, keys::kApprovedStartupFolder);
    for (const std::wstring& name : names) {
        if (switches.Off(name)) report(ItemHappened::Kept, ItemPlace::StartUp, DisplayName(name), kSwitchedOff);
        else Remove(name, places, report);
    }
}

StartupFolderSource::PutBackResult StartupFolderSource::PutBack(const std::wstring& name, Places& places,
                                                                const Reporter& report) const {
    const std::string shown = DisplayName(name);
    const std::wstring heldPath = backUp_ + L"\\" + name, item = startup_ + L"\\" + name;
    {
        // One that another program holds open, not sharing its deletion, is tried again later.
        const win::UniqueHandle free = OpenFileHandle(heldPath, DELETE | FILE_WRITE_ATTRIBUTES);
        if (!free && GetLastError() == ERROR_SHARING_VIOLATION) return PutBackResult::InUse;
    }
    const auto there = [&] { return GetFileAttributesW(LongPath(item).c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (!there()) {
        const char* why = nullptr;
        const bool copied = PlaceExactCopy(heldPath, places.startupCopying, name, IfExisting::Keep, &why);
        if (why) report(ItemHappened::Kept, ItemPlace::Held, shown, why);
        else report(copied ? ItemHappened::Copied : ItemHappened::CopyFailed, ItemPlace::StartUp, shown);
    }
    win::UniqueHandle held = OpenFileHandle(heldPath, DELETE | FILE_WRITE_ATTRIBUTES);
    const win::UniqueHandle back = OpenFileHandle(item);
    if (held && back && Identical(held.Get(), back.Get())) {
        const bool deleted = Discard(std::move(held), heldPath, places.backUpCopying);
        report(deleted ? ItemHappened::Deleted : ItemHappened::DeleteFailed, ItemPlace::Held, shown);
        return PutBackResult::Back;
    }
    // Windows starts the file of that name (there before, or written meanwhile): the held one stays beside it.
    if (there()) return report(ItemHappened::Kept, ItemPlace::Held, shown, kDifferentInStartup), PutBackResult::Back;
    report(ItemHappened::LeftOnlyHeld, ItemPlace::Held, shown);
    return PutBackResult::LeftHeld;
}

// Everything else is put back first; an item another program holds open is
// tried again for a few seconds in all, then named and left held (the restore
// then fails: a package's removal is undone rather than lose it).
bool StartupFolderSource::Restore(const Reporter& report, const LeftAlone& only) {
    Places places(owners_);
    // Nothing held, or nothing to take from a refused one.
    if (!OpenBackUp(win::IfMissing::Fail, places)) return !IsFolder(backUp_);
    if (!OpenStartup(places)) return false;
    RemoveLeftovers(places.startupCopying);
    RemoveLeftovers(places.backUpCopying);
    bool allBack = true;
    std::vector<std::wstring> inUse;
    const auto putBack = [&](const std::wstring& name) {
        if (only && !Names(only, backUp_ + L"\\" + name)) return;
        const PutBackResult result = PutBack(name, places, report);
        if (result == PutBackResult::InUse) inUse.push_back(name);
        allBack = allBack && result != PutBackResult::LeftHeld;
    };
    ForEachFile(backUp_, putBack);
    const ULONGLONG deadline = GetTickCount64() + kInUseWaitMs;
    while (!inUse.empty() && GetTickCount64() < deadline) {
        Sleep(kInUseRetryMs);
        std::vector<std::wstring> again;
        again.swap(inUse);
        for (const std::wstring& name : again) putBack(name);
    }
    for (const std::wstring& name : inUse) {
        report(ItemHappened::Kept, ItemPlace::Held, DisplayName(name), kInUse);
        report(ItemHappened::LeftOnlyHeld, ItemPlace::Held, DisplayName(name));
    }
    return allBack && inUse.empty();
}

// A held file's name from its full path or, from the keeper's requests, its name alone.
std::wstring StartupFolderSource::NameOfItem(const std::wstring& item) const {
    return HeldName(item.find(L'\\') == std::wstring::npos ? backUp_ + L"\\" + item : item);
}

bool StartupFolderSource::StartedByWindows(const StartupEntry& entry) const {
    const std::wstring name = NameOfItem(entry.item);
    return !name.empty() && GetFileAttributesW(LongPath(startup_ + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool StartupFolderSource::DeleteHeld(const StartupEntry& entry, const Reporter& report) {
    const std::wstring name = NameOfItem(entry.item);
    if (name.empty()) return report(ItemHappened::DeleteFailed, ItemPlace::Held, win::Utf8ForDisplay(entry.name)), false;
    Places places(owners_);
    if (!OpenBackUp(win::IfMissing::Fail, places)) return true;
    const std::wstring path = backUp_ + L"\\" + name;
    win::UniqueHandle held = OpenFileHandle(path, DELETE | FILE_WRITE_ATTRIBUTES);
    const bool deleted = held && Discard(std::move(held), path, places.backUpCopying);
    report(deleted ? ItemHappened::Deleted : ItemHappened::DeleteFailed, ItemPlace::Held, DisplayName(name));
    return deleted;
}

WatchTarget StartupFolderSource::Watched(ItemPlace place) const {
    WatchTarget target;
    target.folder = place == ItemPlace::Held ? backUp_ : startup_;
    return target;
}

std::wstring StartupBackUpFolder(const std::wstring& appData) {
    std::wstring backUp = appData;
    for (const wchar_t* folder : kBelowRoot) backUp.append(L"\\").append(folder);
    return backUp;
}

std::unique_ptr<StartupSource> UserStartupFolder() {
    return Make(Scope::User, Origin::UserFolder, FOLDERID_Startup, FOLDERID_RoamingAppData, HKEY_CURRENT_USER);
}

std::unique_ptr<StartupSource> AllUsersStartupFolder() {
    return Make(Scope::Machine, Origin::AllUsersFolder, FOLDERID_CommonStartup, FOLDERID_ProgramData,
                HKEY_LOCAL_MACHINE);
}

}  // namespace lists
