#pragma once
#include <windows.h>

#include "model/EntryList.h"
#include "engine/StartupLists.h"

// The three uses of the one pass over every value of a key, for one start-up list.
namespace sweep {

// Copy every value but the program's own, exactly (type and every byte), from a
// Run key into its BackUp key, or back; a Run value written again since its
// back-up is newer and is not overwritten by a restore. What the list could not
// show or must not start (switched off in Task Manager) is not backed up.
void BackUpValues(const StartupList& startupList, HKEY run, HKEY backUp);
void RestoreValues(const StartupList& startupList, HKEY backUp, HKEY run);

// Lists every value of a BackUp key in front of `list`, under the duplicate
// rule: a name already listed is marked as kept in both and not listed twice.
// Entries switched off since they were backed up are not listed.
void ListValues(const StartupList& startupList, HKEY backUp, EntryList& list, ListSet lists);

}  // namespace sweep
