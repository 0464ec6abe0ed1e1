#include "engine/ValueTransfer.h"

#include <cstring>

#include "win/Diagnostics.h"
#include "engine/model/StartupEntry.h"
#include "registry/RegistryAccess.h"

namespace transfer {

bool FitsAnEntry(const RegValueBlob& value) {
    return value.count() <= RegistryAccess::kReadLimit && TextOf(value).size() < StartupEntry::kFieldSize;
}

bool Listable(const char* name, const RegValueBlob& value) {
    return std::strlen(name) < StartupEntry::kFieldSize && FitsAnEntry(value);
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
    const RegValueBlob value(REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
    return ReportPut(RegistryAccess().WriteValue(key, name, &value) == ERROR_SUCCESS);
}

int DeleteNamed(HKEY key, const char* name) {
    return ReportDelete(RegistryAccess().DeleteValue(key, name) == ERROR_SUCCESS);
}

int PutCopy(HKEY destination, const char* name, const RegValueBlob& value, bool keepChanged) {
    const RegistryAccess access;
    RegValueBlob present;
    if (keepChanged && access.ReadWholeValue(destination, name, &present) == ERROR_SUCCESS && present != value) {
        PrintLine("Reg entry kept, it changed since it was backed up: %s\n", name);
        return 0;
    }
    return ReportPut(access.WriteValue(destination, name, &value) == ERROR_SUCCESS);
}

int DeleteIfKept(HKEY from, HKEY keeper, const char* name, DeletionCheck check) {
    const RegistryAccess access;
    RegValueBlob value;
    if (access.ReadWholeValue(from, name, &value) != ERROR_SUCCESS) return ReportDelete(false);
    RegValueBlob copy;
    if (access.ReadWholeValue(keeper, name, &copy) != ERROR_SUCCESS || copy != value) {
        PrintLine("Reg entry kept, no identical copy to keep it: %s\n", name);
        return 0;
    }
    if (check && !check(value)) {
        PrintLine("Reg entry kept, it cannot be listed: %s\n", name);
        return 0;
    }
    return ReportDelete(access.DeleteValue(from, name) == ERROR_SUCCESS);
}

}  // namespace transfer
