#include "lists/SourceTable.h"

#include "lists/RunKeySource.h"
#include "registry/RegistryKeys.h"

namespace lists {

SourceTable BuildSourceTable() {
    static const RunKeyPlace runKeys[] = {
        {Scope::User, HKEY_CURRENT_USER, 0, keys::kRun, keys::kBackUp, Origin::CurrentUser, keys::kApprovedRun,
         keys::kDisableUserRun},
        {Scope::Machine, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, keys::kRun, keys::kBackUp, Origin::AllUsers,
         keys::kApprovedRun, keys::kDisableMachineRun},
        {Scope::Machine, HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY, keys::kRun32, keys::kBackUp32, Origin::AllUsers,
         keys::kApprovedRun32, keys::kDisableMachineRun},
    };
    SourceTable table;
    for (const RunKeyPlace& place : runKeys) table.push_back(std::make_unique<RunKeySource>(place));
    return table;
}

}  // namespace lists
