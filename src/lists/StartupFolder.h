#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "lists/StartupSource.h"
#include "win/ProtectedFolder.h"

namespace lists {

// A Startup folder, whose every file but desktop.ini Windows starts at log-on,
// and the BackUp folder of the same scope that holds what Pacewick took from it.
// A held file is identified by its full path (StartupEntry::item).
class StartupFolderSource : public StartupSource {
public:
    // `approvedRoot` is the hive of Explorer's switches for the folder's files.
    // The BackUp folder ends in Quorvell Software\Pacewick\StartupBackUp: those
    // three folders are made and checked as protected folders (a machine one
    // with the machine's rights, a user's with those it inherits).
    StartupFolderSource(Scope scope, Origin origin, std::wstring startupFolder, std::wstring backUpFolder,
                        HKEY approvedRoot);
    // Another account's, for the system: both folders lie below `trustedRoot`
    // (the account's profile folder), every folder below it is checked on its
    // handle, and only SYSTEM, the administrators and `owners` may own them.
    StartupFolderSource(std::wstring startupFolder, std::wstring backUpFolder, HKEY approvedRoot,
                        const std::wstring& trustedRoot, win::Owners owners);

    Scope GetScope() const override { return scope_; }
    ItemKind Kind() const override { return ItemKind::File; }
    // No policy turns the Startup folders off as a whole.
    bool TurnedOff() const override { return false; }
    void BackUp(const Reporter& report) override;
    void ListHeld(EntryList& list, ListSet bit, const Reporter& report) override;
    void RemoveHeld(const EntryList& listed, ListSet bit, const Reporter& report) override;
    void MoveIn(EntryList& moved, ListSet bit, const Reporter& report, const StopAsked& stop,
                const LeftAlone& leave = nullptr) override;
    bool Restore(const Reporter& report, const LeftAlone& only = nullptr) override;
    bool DeleteHeld(const StartupEntry& entry, const Reporter& report) override;
    bool StartedByWindows(const StartupEntry& entry) const override;
    WatchTarget Watched(ItemPlace place) const override;

private:
    struct Places;  // the folders of one operation
    std::wstring RootFinal(const std::wstring& root, const std::wstring& known) const;
    // Opens the Startup folder for one operation; false when it is missing or refused.
    bool OpenStartup(Places& places) const;
    // Opens the BackUp folder for one operation (or makes it); false when it is missing or refused.
    bool OpenBackUp(win::IfMissing missing, Places& places) const;
    // The name of a held file's path when it is a file directly in the BackUp folder, else empty.
    std::wstring HeldName(const std::wstring& item) const;
    std::wstring NameOfItem(const std::wstring& item) const;
    void Remove(const std::wstring& name, Places& places, const Reporter& report) const;
    // Copies one file into the BackUp folder unless an identical one is there; true when held.
    bool Hold(const std::wstring& name, Places& places, const Reporter& report) const;
    StartupEntry EntryOf(const std::wstring& name, ListSet bit) const;
    template <typename Use>
    void ForEachStarted(const Reporter& report, Use use) const;
    enum class PutBackResult { Back, LeftHeld, InUse };
    // Puts one held file back; InUse (nothing said) when another program has it open.
    PutBackResult PutBack(const std::wstring& name, Places& places, const Reporter& report) const;

    Scope scope_;
    Origin origin_;
    std::wstring startup_;
    std::wstring backUp_;
    HKEY approvedRoot_;
    // Each folder is checked below its root (%APPDATA%, %ProgramData%): the
    // BackUp folder's three names, and the Startup folder's path below it (or
    // its own name, when it lies elsewhere).
    std::wstring backUpRoot_, startupRoot_;
    std::vector<std::wstring> backUpNames_, startupNames_;
    win::Owners owners_;
    std::wstring backUpRootFinal_, startupRootFinal_;  // where the roots are, found when made
};

// The current user's Startup folder, held in %APPDATA% (so that it roams), and
// the all-users Startup folder, held in %ProgramData%. Null when Windows does
// not name the folders.
std::unique_ptr<StartupSource> UserStartupFolder();
// The BackUp folder of the Startup folder of the account whose %APPDATA% is `appData`.
std::wstring StartupBackUpFolder(const std::wstring& appData);
std::unique_ptr<StartupSource> AllUsersStartupFolder();

}  // namespace lists
