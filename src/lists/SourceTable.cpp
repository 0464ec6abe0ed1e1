#include "lists/SourceTable.h"

#include "lists/RunKeySource.h"
#include "lists/StartupFolder.h"
#include "registry/RegistryKeys.h"

namespace lists {
namespace {

// A list Windows does not name for this account (no such known folder): its
// row stays, so that every row keeps its number, and holds nothing.
class AbsentSource : public StartupSource {
public:
    AbsentSource(Scope scope, ItemKind kind) : scope_(scope), kind_(kind) {}
    Scope GetScope() const override { return scope_; }
    ItemKind Kind() const override { return kind_; }
    bool TurnedOff() const override { return true; }
    void BackUp(const Reporter&) override {}
    void ListHeld(EntryList&, ListSet, const Reporter&) override {}
    void RemoveHeld(const EntryList&, ListSet, const Reporter&) override {}
    void MoveIn(EntryList&, ListSet, const Reporter&, const StopAsked&, const LeftAlone&) override {}
    bool Restore(const Reporter&, const LeftAlone&) override { return true; }
    bool DeleteHeld(const StartupEntry&, const Reporter&) override { return false; }
    bool StartedByWindows(const StartupEntry&) const override { return false; }
    WatchTarget Watched(ItemPlace) const override { return WatchTarget{}; }

private:
    Scope scope_;
    ItemKind kind_;
};

std::unique_ptr<StartupSource> OrAbsent(std::unique_ptr<StartupSource> source, Scope scope) {
    return source ? std::move(source) : std::make_unique<AbsentSource>(scope, ItemKind::File);
}

}  // namespace

const RunKeyPlace kUserRunKey = {Scope::User,         HKEY_CURRENT_USER,   0,
                                     keys::kRun,          keys::kBackUp,       Origin::CurrentUser,
                                     keys::kApprovedRun,  keys::kDisableUserRun};

SourceTable BuildSourceTable() {
    static const RunKeyPlace runKeys[] = {
        kUserRunKey,
        {Scope::Machine, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, keys::kRun, keys::kBackUp, Origin::AllUsers,
         keys::kApprovedRun, keys::kDisableMachineRun},
        {Scope::Machine, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, keys::kRun32, keys::kBackUp32, Origin::AllUsers,
         keys::kApprovedRun32, keys::kDisableMachineRun},
    };
    SourceTable table;
    for (const RunKeyPlace& place : runKeys) table.push_back(std::make_unique<RunKeySource>(place));
    table.push_back(OrAbsent(UserStartupFolder(), Scope::User));
    table.push_back(OrAbsent(AllUsersStartupFolder(), Scope::Machine));
    return table;
}

SourceTable BuildAccountSourceTable(const AccountPlaces& account) {
    RunKeyPlace runKey = kUserRunKey;
    runKey.root = account.hive;
    runKey.ownNamesOnly = true;
    SourceTable table;
    table.push_back(std::make_unique<RunKeySource>(runKey));
    table.push_back(std::make_unique<AbsentSource>(Scope::Machine, ItemKind::RegistryValue));
    table.push_back(std::make_unique<AbsentSource>(Scope::Machine, ItemKind::RegistryValue));
    if (account.startupFolder.empty() || account.appData.empty())
        table.push_back(std::make_unique<AbsentSource>(Scope::User, ItemKind::File));
    else
        table.push_back(std::make_unique<StartupFolderSource>(
            account.startupFolder, StartupBackUpFolder(account.appData), account.hive, account.profile,
            win::Owners::AccountToo(account.sid)));
    table.push_back(std::make_unique<AbsentSource>(Scope::Machine, ItemKind::File));
    return table;
}

}  // namespace lists
