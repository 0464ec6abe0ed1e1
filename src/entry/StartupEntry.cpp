#include "entry/StartupEntry.h"

#include <algorithm>
#include <cstring>

#include "entry/EntryList.h"

bool SetField(char (&field)[StartupEntry::kFieldSize], const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    const bool fits = length < StartupEntry::kFieldSize;
    const std::size_t copied = fits ? length : StartupEntry::kFieldSize - 1;
    if (copied) std::memcpy(field, text, copied);
    field[copied] = '\0';
    return fits;
}

namespace {

bool Starts(const StartupEntry& entry, const char* command) {
    return std::strcmp(entry.command, command) == 0 ||
           std::find(entry.otherCommands.begin(), entry.otherCommands.end(), command) != entry.otherCommands.end();
}

}  // namespace

int MarkPresentInBoth(EntryList& list, const char* name, ListSet lists, Origin origin, const char* command) {
    int found = 0;
    for (StartupEntry& entry : list) {
        if (std::strcmp(entry.name, name) != 0) continue;
        if (entry.origin != origin) entry.origin = Origin::Both;
        entry.lists |= lists;
        if (command && !Starts(entry, command)) entry.otherCommands.emplace_back(command);
        found = 1;
    }
    return found;
}
