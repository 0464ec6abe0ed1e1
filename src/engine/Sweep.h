#pragma once
#include <windows.h>

#include "engine/model/EntryList.h"

// The three uses of the one pass over every value of a key.
namespace sweep {

// Copy every value but the program's own, exactly (type and every byte), from a
// Run key into its BackUp key, or back; a Run value written again since its
// back-up is newer and is not overwritten by a restore.
void BackUpValues(HKEY run, HKEY backUp);
void RestoreValues(HKEY backUp, HKEY run);

// Lists every value of a BackUp key in front of `list`, under the duplicate
// rule: a name already listed is marked as kept in both and not listed twice.
void ListValues(HKEY backUp, EntryList& list, Origin origin, ListSet lists);

}  // namespace sweep
