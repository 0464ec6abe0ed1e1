#pragma once
#include <windows.h>

#include <string>

#include "registry/RegValueBlob.h"

// Moving start-up values between a Run key and a BackUp key without losing one:
// copies are exact (type and every byte), and a value is deleted only while
// another key holds an identical copy of it.
namespace transfer {

// True when a value of this name can be listed and launched as it is: the name
// fits an entry's field, and the value passes FitsAnEntry.
bool Listable(const char* name, const RegValueBlob& value);

// True when the value can be listed and launched as it is: its data is readable
// as text (at most RegistryAccess::kReadLimit bytes) and that text fits an
// entry's command field uncut.
bool FitsAnEntry(const RegValueBlob& value);

// Writes a copy of a value, type and data whatever their size, reporting the
// write with the put line. 1 when written, else 0. With keepChanged a differing
// destination value is left as it is, with a line.
int PutCopy(HKEY destination, const char* name, const RegValueBlob& value, bool keepChanged);

// What a value must satisfy, beyond having an identical copy, to be deleted.
using DeletionCheck = bool (*)(const RegValueBlob& value);

// Deletes the named value from `from` only when `keeper` holds a value of that
// name with the same type and data, and `check` (if any) accepts it; otherwise the
// value stays, with a line saying why. 1 when deleted, else 0.
int DeleteIfKept(HKEY from, HKEY keeper, const char* name, DeletionCheck check = nullptr);

// Writes a text as a REG_SZ value; deletes a value. Each reports itself with
// its line and returns 1 when done, else 0.
int PutText(HKEY key, const char* name, const std::string& text);
int DeleteNamed(HKEY key, const char* name);

// The lines every put and delete reports itself with; they return 1 or 0.
int ReportPut(bool written);
int ReportDelete(bool deleted);

}  // namespace transfer
