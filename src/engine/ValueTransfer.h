#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "registry/RegValueBlob.h"
#include "registry/ValueWalk.h"

// Moving start-up values between a Run key and a BackUp key without losing one:
// copies are exact (type and every byte, by the name in UTF-16), and a value is
// deleted only while another key holds an identical copy of it.
namespace transfer {

using registry::ValueName;

// True when the value can be listed and launched as it is: a REG_SZ or
// REG_EXPAND_SZ whose command, like its name, converts exactly and fits an
// entry's field uncut. Only such values are taken over.
bool FitsAnEntry(const RegValueBlob& value);
bool Listable(const ValueName& name, const RegValueBlob& value);

// Writes a copy of a value, reporting the write with the put line. 1 when
// written, else 0. With keepChanged a differing destination value is left as
// it is, with a line.
int PutCopy(HKEY destination, const ValueName& name, const RegValueBlob& value, bool keepChanged);

// Why a value, though kept identically elsewhere, must stay: null when it may go.
using DeletionCheck = std::function<const char*(const RegValueBlob& value)>;

// Deletes the named value from `from` only when `keeper` holds a value of that
// name with the same type and data, and `check` (if any) finds no reason to keep
// it; otherwise the value stays, with a line saying why. 1 when deleted, else 0.
int DeleteIfKept(HKEY from, HKEY keeper, const ValueName& name, const DeletionCheck& check = nullptr);

// Writes a text as a REG_SZ value; deletes a value. Each reports itself with
// its line and returns 1 when done, else 0.
int PutText(HKEY key, const char* name, const std::string& text);
int DeleteNamed(HKEY key, const ValueName& name);

// The lines every put and delete reports itself with; they return 1 or 0.
int ReportPut(bool written);
int ReportDelete(bool deleted);

}  // namespace transfer
