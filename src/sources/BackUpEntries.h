#pragma once
#include <windows.h>

#include <vector>

#include "model/StartupEntry.h"

// Reads every value of a BackUp key as an entry of the given origin, kept in
// the given lists, in the order the key enumerates them, with the lines of the
// walk. A value that cannot be read as text, or whose name or command does not
// fit an entry uncut, is left out with a line saying why. Only the registry is
// read: the companies are left empty (see FillCompanies).
std::vector<StartupEntry> ReadBackUpEntries(HKEY backUp, Origin origin, ListSet lists);
