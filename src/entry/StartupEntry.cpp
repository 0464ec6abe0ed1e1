#include "entry/StartupEntry.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "entry/EntryList.h"
#include "win/Text.h"

bool FitsEntry(const std::string& utf8) { return utf8.size() <= kEntryTextBytes; }

bool FitsEntry(const std::wstring& text) {
    const std::optional<std::string> utf8 = win::Utf8(text);
    return utf8 && FitsEntry(*utf8);
}

std::wstring FitShown(const std::wstring& text) {
    std::string shown = win::Utf8ForDisplay(text);
    if (!FitsEntry(shown)) {
        std::size_t cut = kEntryTextBytes;
        while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
        shown.resize(cut);
    }
    return win::Wide(shown).value_or(std::wstring());
}

std::wstring FitShown(const std::string& utf8) {
    const int length = static_cast<int>(std::min(std::strlen(utf8.c_str()), kEntryTextBytes));  // up to a NUL, as ever
    if (length == 0) return std::wstring();
    std::wstring shown(static_cast<std::size_t>(length), L'\0');  // never more units than bytes
    shown.resize(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, shown.data(), length)));
    return shown;
}

EntryIdentity IdentityOf(const StartupEntry& entry) {
    if (entry.item.empty()) return EntryIdentity{entry.lists, entry.name};
    return EntryIdentity{entry.lists, entry.item.substr(entry.item.find_last_of(L'\\') + 1)};
}

StartupEntry EntryOf(const EntryIdentity& identity) {
    StartupEntry entry;
    entry.name = FitShown(identity.name);  // as the list shows a long name
    // No file's name holds a backslash: such a name is a Run value's only.
    if (identity.name.find(L'\\') == std::wstring::npos) entry.item = identity.name;
    entry.lists = identity.lists;
    return entry;
}

namespace {

bool Starts(const StartupEntry& entry, const std::wstring& command) {
    return entry.command == command ||
           std::find(entry.otherCommands.begin(), entry.otherCommands.end(), command) != entry.otherCommands.end();
}

}  // namespace

int MarkPresentInBoth(EntryList& list, const std::wstring& name, ListSet lists, Origin origin,
                      const std::wstring* command) {
    int found = 0;
    for (StartupEntry& entry : list) {
        if (entry.name != name) continue;
        if (entry.origin != origin) entry.origin = Origin::Both;
        entry.lists |= lists;
        if (command && !Starts(entry, *command)) entry.otherCommands.push_back(*command);
        found = 1;
    }
    return found;
}
