#include "sources/BackUpEntries.h"

#include "registry/RegistryAccess.h"
#include "registry/ValueWalk.h"
#include "win/Diagnostics.h"

std::vector<StartupEntry> ReadBackUpEntries(HKEY backUp, Origin origin, ListSet lists) {
    std::vector<StartupEntry> entries;
    registry::WalkValueNames(backUp, [&](const registry::ValueName& name) {
        RegValueBlob value;
        if (RegistryAccess().ReadWholeValue(backUp, name.wide, &value) != ERROR_SUCCESS) {
            PrintLine("Reg entry put UNSUCCESSFUL!!\n");
            PrintLine("Entry not listed, its data cannot be read as text: %s\n", name.text.c_str());
            return;
        }
        const auto command = CommandText(value);
        if (!command || !name.exact) {
            PrintLine("Entry not listed, its data cannot be read as text: %s\n", name.text.c_str());
            return;
        }
        StartupEntry entry;
        // A cut name or command would name another value or program: such a value is left out.
        if (!SetField(entry.command, command->c_str()) || !SetField(entry.name, name.text.c_str())) {
            PrintLine("Entry not listed, its name or command is too long: %s\n", name.text.c_str());
            return;
        }
        entry.origin = origin;
        entry.lists = lists;
        entries.push_back(entry);
    });
    return entries;
}
