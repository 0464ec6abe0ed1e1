#include "accounts/EveryAccount.h"

#include "accounts/AccountHive.h"
#include "accounts/Profiles.h"
#include "lists/SourceTable.h"

namespace accounts {
namespace {

// Its Run key's and its Startup folder's programs back; false when one stays held.
bool RestoreLists(HKEY hive, const Account& account, const AccountFolders& folders, ItemEventSink& events) {
    const lists::SourceTable table = lists::BuildAccountSourceTable(
        lists::AccountPlaces{hive, account.sid, account.profile, folders.startup, folders.appData});
    bool back = true;
    for (std::size_t row = 0; row < table.size(); ++row)
        back = table[row]->Restore(lists::Reporter{events, row, table[row]->Kind()}) && back;
    return back;
}

Outcome RestoreAccount(const Places& places, const Account& account, ItemEventSink& events, std::string* why) {
    AccountHive hive;
    if (!hive.Open(places.users, account, why)) return Outcome::Unreachable;
    std::string foldersWhy;
    const AccountFolders folders = FoldersOf(hive.Get(), account, &foldersWhy);
    const bool back = RestoreLists(hive.Get(), account, folders, events);
    if (hive.LoadedHere() && places.beforeUnload) places.beforeUnload(account.sid, hive.Get());
    if (!hive.Unload()) *why = "its registry file stays loaded";
    if (!foldersWhy.empty()) {
        *why = foldersWhy;
        return Outcome::NotAllBack;
    }
    return back ? Outcome::Back : Outcome::NotAllBack;
}

}  // namespace

Tally RestoreEveryAccount(const Places& places, ItemEventSink& events,
                          const std::function<void(const AccountNews&)>& told) {
    Tally tally;
    for (const Account& account : ProfileAccounts(places.machine)) {
        const std::string none;
        told(AccountNews{account.sid, Outcome::Begun, none});
        std::string why;
        const Outcome outcome = RestoreAccount(places, account, events, &why);
        told(AccountNews{account.sid, outcome, why});
        (outcome == Outcome::Back ? tally.back : outcome == Outcome::NotAllBack ? tally.notAllBack : tally.unreachable)++;
    }
    return tally;
}

}  // namespace accounts
