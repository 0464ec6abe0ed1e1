#include "model/StartupEntry.h"

#include <cstring>

#include "model/EntryList.h"

bool SetField(char (&field)[StartupEntry::kFieldSize], const char* text) {
    const std::size_t length = text ? std::strlen(text) : 0;
    const bool fits = length < StartupEntry::kFieldSize;
    const std::size_t copied = fits ? length : StartupEntry::kFieldSize - 1;
    if (copied) std::memcpy(field, text, copied);
    field[copied] = '\0';
    return fits;
}

int MarkPresentInBoth(EntryList& list, const char* name, ListSet lists, Origin origin) {
    int found = 0;
    for (StartupEntry& entry : list) {
        if (std::strcmp(entry.name, name) != 0) continue;
        if (entry.origin != origin) entry.origin = Origin::Both;
        entry.lists |= lists;
        found = 1;
    }
    return found;
}
