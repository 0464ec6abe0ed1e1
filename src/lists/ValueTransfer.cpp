#include "lists/ValueTransfer.h"

#include "entry/StartupEntry.h"
#include "registry/RegistryAccess.h"

namespace transfer {

bool FitsAnEntry(const RegValueBlob& value) {
    const auto command = CommandText(value);
    return command && command->size() < StartupEntry::kFieldSize;
}

bool Listable(const ValueName& name, const RegValueBlob& value) {
    return name.exact && name.text.size() < StartupEntry::kFieldSize && FitsAnEntry(value);
}

bool PutCopy(HKEY destination, ItemPlace place, const ValueName& name, const RegValueBlob& value, IfDiffering differing,
             const lists::Reporter& report) {
    const RegistryAccess access;
    RegValueBlob present;
    if (differing == IfDiffering::Keep && access.ReadWholeValue(destination, name.wide, &present) == ERROR_SUCCESS &&
        present != value) {
        report(ItemHappened::Kept, place, name.text, "it changed since it was backed up");
        return false;
    }
    const bool written = access.WriteValue(destination, name.wide, &value) == ERROR_SUCCESS;
    report(written ? ItemHappened::Copied : ItemHappened::CopyFailed, place, name.text);
    return written;
}

void DeleteIfKept(HKEY from, ItemPlace place, HKEY keeper, const ValueName& name, const lists::Reporter& report,
                  const DeletionCheck& check) {
    const RegistryAccess access;
    RegValueBlob value;
    if (!name.exact || access.ReadWholeValue(from, name.wide, &value) != ERROR_SUCCESS) {
        report(ItemHappened::DeleteFailed, place, name.text);
        return;
    }
    RegValueBlob copy;
    if (access.ReadWholeValue(keeper, name.wide, &copy) != ERROR_SUCCESS || copy != value) {
        report(ItemHappened::Kept, place, name.text, "no identical copy to keep it");
        return;
    }
    if (const char* reason = check ? check(value) : nullptr) {
        report(ItemHappened::Kept, place, name.text, reason);
        return;
    }
    DeleteNamed(from, place, name, report);
}

bool DeleteNamed(HKEY key, ItemPlace place, const ValueName& name, const lists::Reporter& report) {
    const bool deleted = name.exact && RegistryAccess().DeleteValue(key, name.wide) == ERROR_SUCCESS;
    report(deleted ? ItemHappened::Deleted : ItemHappened::DeleteFailed, place, name.text);
    return deleted;
}

}  // namespace transfer
