#pragma once
#include <windows.h>

#include "lists/StartupSource.h"
#include "registry/RegKey.h"

namespace lists {

// Where one Run key and the BackUp key beside it are.
struct RunKeyPlace {
    Scope scope;
    HKEY root;                       // HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE or an account's hive
    REGSAM view;                     // 0, or KEY_WOW64_64KEY: the native keys, from a 32-bit build too
    const wchar_t* runPath;          // the Run key, under root
    const wchar_t* backUpPath;       // its BackUp key, under root in the same view
    Origin origin;                   // what entries listed from the BackUp key are
    const wchar_t* approvedPath;     // Explorer's switches for this Run key (StartupApproved), same hive
    const wchar_t* disablingPolicy;  // the Explorer policy that turns the whole list off
    bool ownNamesOnly = false;       // keys opened never through a link (another account's hive)
};

// A Run key: its values move, exactly, into its BackUp key and back.
class RunKeySource : public StartupSource {
public:
    explicit RunKeySource(const RunKeyPlace& place) : place_(place) {}

    Scope GetScope() const override { return place_.scope; }
    ItemKind Kind() const override { return ItemKind::RegistryValue; }
    bool TurnedOff() const override;
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
    LONG OpenRun(registry::Key& key, REGSAM access) const;
    LONG OpenBackUp(registry::Key& key, REGSAM access) const;

    RunKeyPlace place_;
};

}  // namespace lists
