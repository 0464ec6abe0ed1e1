#include "sources/BackUpEntries.h"

#include <string>

#include "registry/RegistryAccess.h"
#include "registry/ValueWalk.h"
#include "sources/Companies.h"
#include "win/Diagnostics.h"

namespace {

// Fills an entry from one BackUp value. False when the name or the command does
// not fit its field: such a value is left out of the list rather than cut short.
bool BuildEntry(const char* name, const std::string& command, CFileVersionInfo& versionInfo, StartupEntry* entry) {
    if (!SetField(entry->command, command.c_str()) || !SetField(entry->name, name)) return false;
    SetField(entry->company, CompanyOfCommand(command, versionInfo).c_str());  // a cut company name harms nothing
    return true;
}

}  // namespace

std::vector<StartupEntry> ReadBackUpEntries(HKEY backUp, Origin origin, ListSet lists) {
    std::vector<StartupEntry> entries;
    CFileVersionInfo versionInfo;
    registry::WalkValueNames(backUp, [&](const char* name) {
        RegValueBlob value;
        if (RegistryAccess().ReadValue(backUp, name, &value) != ERROR_SUCCESS) {
            PrintLine("Reg entry put UNSUCCESSFUL!!\n");
            PrintLine("Entry not listed, its data cannot be read as text: %s\n", name);
            return;
        }
        StartupEntry entry;
        if (!BuildEntry(name, TextOf(value), versionInfo, &entry)) {
            PrintLine("Entry not listed, its name or command is too long: %s\n", name);
            return;
        }
        entry.origin = origin;
        entry.lists = lists;
        entries.push_back(entry);
    });
    return entries;
}
