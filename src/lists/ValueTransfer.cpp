#include "lists/ValueTransfer.h"

#include "entry/StartupEntry.h"

namespace transfer {

bool FitsAnEntry(const RegValueBlob& value) {
    const auto command = CommandText(value);
    return command && FitsEntry(*command);
}

bool Listable(const ValueName& name, const RegValueBlob& value) {
    return name.exact && FitsEntry(name.text) && FitsAnEntry(value);
}

bool PutCopy(const KeyRef& destination, ItemPlace place, const ValueName& name, const RegValueBlob& value, IfDiffering differing,
             const lists::Reporter& report) {
    RegValueBlob present;
    if (differing == IfDiffering::Keep && destination.ReadValue(name.wide, &present) == ERROR_SUCCESS && present != value) {
        report(ItemHappened::Kept, place, name.text, "it changed since it was backed up");
        return false;
    }
    const bool written = destination.WriteValue(name.wide, value) == ERROR_SUCCESS;
    report(written ? ItemHappened::Copied : ItemHappened::CopyFailed, place, name.text);
    return written;
}

void DeleteIfKept(const KeyRef& from, ItemPlace place, const KeyRef& keeper, const ValueName& name, const lists::Reporter& report,
                  const DeletionCheck& check) {
    // The copy first and the value last: the registry has no compare-and-delete,
    // so nothing but the comparison stands between reading the value and deleting
    // it, and a program rewriting its value has the least time to lose the rewrite.
    RegValueBlob copy;
    const bool copied = name.exact && keeper.ReadValue(name.wide, &copy) == ERROR_SUCCESS;
    RegValueBlob value;
    if (!name.exact || from.ReadValue(name.wide, &value) != ERROR_SUCCESS) {
        report(ItemHappened::DeleteFailed, place, name.text);
        return;
    }
    if (!copied || copy != value) {
        report(ItemHappened::Kept, place, name.text, "no identical copy to keep it");
        return;
    }
    if (const char* reason = check ? check(value) : nullptr) {
        report(ItemHappened::Kept, place, name.text, reason);
        return;
    }
    DeleteNamed(from, place, name, report);
}

bool DeleteNamed(const KeyRef& key, ItemPlace place, const ValueName& name, const lists::Reporter& report) {
    const bool deleted = name.exact && key.DeleteValue(name.wide) == ERROR_SUCCESS;
    report(deleted ? ItemHappened::Deleted : ItemHappened::DeleteFailed, place, name.text);
    return deleted;
}

}  // namespace transfer
