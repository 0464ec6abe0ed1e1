#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "lists/StartupSource.h"
#include "registry/RegKey.h"
#include "registry/RegValueBlob.h"
#include "registry/ValueWalk.h"

// Moving start-up values between a Run key and a BackUp key without losing one:
// copies are exact (type and every byte, by the name in UTF-16), and a value is
// deleted only while another key holds an identical copy of it. Each step is
// reported as an event of the item, at the place where it happened.
namespace transfer {

using registry::KeyRef;
using registry::ValueName;

// True when the value can be listed and launched as it is: a REG_SZ or
// REG_EXPAND_SZ whose command, like its name, converts exactly and fits an
// entry's field uncut. Only such values are taken over.
bool FitsAnEntry(const RegValueBlob& value);
bool Listable(const ValueName& name, const RegValueBlob& value);

// What a copy does with a value of its name that differs: overwrite it, or leave it as it is (Kept).
enum class IfDiffering { Overwrite, Keep };

// Writes a copy of a value into the key at `place`. True when written.
bool PutCopy(const KeyRef& destination, ItemPlace place, const ValueName& name, const RegValueBlob& value, IfDiffering differing,
             const lists::Reporter& report);

// Why a value, though kept identically elsewhere, must stay: null when it may go.
using DeletionCheck = std::function<const char*(const RegValueBlob& value)>;

// Deletes the named value from `from` (at `place`) only when `keeper` holds a
// value of that name with the same type and data, and `check` (if any) finds no
// reason to keep it; otherwise the value stays (Kept, with the reason).
void DeleteIfKept(const KeyRef& from, ItemPlace place, const KeyRef& keeper, const ValueName& name, const lists::Reporter& report,
                  const DeletionCheck& check = nullptr);

// Deletes a value outright (the user's "Delete entry"). True when deleted.
bool DeleteNamed(const KeyRef& key, ItemPlace place, const ValueName& name, const lists::Reporter& report);

}  // namespace transfer
