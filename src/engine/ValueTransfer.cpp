#include "engine/ValueTransfer.h"

#include <optional>

#include "model/StartupEntry.h"
#include "registry/RegistryAccess.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace transfer {

bool FitsAnEntry(const RegValueBlob& value) {
    const auto command = CommandText(value);
    return command && command->size() < StartupEntry::kFieldSize;
}

bool Listable(const ValueName& name, const RegValueBlob& value) {
    return name.exact && name.text.size() < StartupEntry::kFieldSize && FitsAnEntry(value);
}

int ReportPut(bool written) {
    PrintLine(written ? "Reg entry put SUCCESSFULLY!!\n" : "Reg entry put UNSUCCESSFUL!!\n");
    return written ? 1 : 0;
}

int ReportDelete(bool deleted) {
    PrintLine(deleted ? "Reg entry deleted SUCCESSFULLY!!\n" : "Reg entry delete UNSUCCESSFULL!!\n");
    return deleted ? 1 : 0;
}

int PutText(HKEY key, const char* name, const std::string& text) {
    const ValueName valueName = ValueName::FromText(name);
    const std::optional<std::wstring> wide = win::Wide(text);
    if (!valueName.exact || !wide) return ReportPut(false);
    const RegValueBlob value(REG_SZ, wide->c_str(), static_cast<DWORD>((wide->size() + 1) * sizeof(wchar_t)));
    return ReportPut(RegistryAccess().WriteValue(key, valueName.wide, &value) == ERROR_SUCCESS);
}

int DeleteNamed(HKEY key, const ValueName& name) {
    return ReportDelete(name.exact && RegistryAccess().DeleteValue(key, name.wide) == ERROR_SUCCESS);
}

int PutCopy(HKEY destination, const ValueName& name, const RegValueBlob& value, bool keepChanged) {
    const RegistryAccess access;
    RegValueBlob present;
    if (keepChanged && access.ReadWholeValue(destination, name.wide, &present) == ERROR_SUCCESS && present != value) {
        PrintLine("Reg entry kept, it changed since it was backed up: %s\n", name.text.c_str());
        return 0;
    }
    return ReportPut(access.WriteValue(destination, name.wide, &value) == ERROR_SUCCESS);
}

int DeleteIfKept(HKEY from, HKEY keeper, const ValueName& name, const DeletionCheck& check) {
    const RegistryAccess access;
    RegValueBlob value;
    if (!name.exact || access.ReadWholeValue(from, name.wide, &value) != ERROR_SUCCESS) return ReportDelete(false);
    RegValueBlob copy;
    if (access.ReadWholeValue(keeper, name.wide, &copy) != ERROR_SUCCESS || copy != value) {
        PrintLine("Reg entry kept, no identical copy to keep it: %s\n", name.text.c_str());
        return 0;
    }
    if (const char* reason = check ? check(value) : nullptr) {
        PrintLine("Reg entry kept, %s: %s\n", reason, name.text.c_str());
        return 0;
    }
    return ReportDelete(access.DeleteValue(from, name.wide) == ERROR_SUCCESS);
}

}  // namespace transfer
