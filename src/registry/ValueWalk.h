#pragma once
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "registry/RegKey.h"
#include "registry/RegValueBlob.h"

namespace registry {

// A value's name as the registry keeps it (UTF-16), and as the program shows
// and lists it (UTF-8). `exact` is false when the UTF-8 text cannot stand for
// the name (an unpaired surrogate): such a name is shown, never looked up by text.
struct ValueName {
    std::wstring wide;
    std::string text;
    bool exact = true;

    // A name the program holds as text (an entry's name).
    static ValueName FromText(const std::string& text);
    // A name the registry gave.
    static ValueName FromWide(const std::wstring& wide);
};

// The names of the key's values (KeyRef::ValueNames), each with its text. Prints nothing.
LONG ValueNamesOf(const KeyRef& key, std::vector<ValueName>* names);

}  // namespace registry

// The UTF-16 text of a REG_SZ or REG_EXPAND_SZ value up to its first NUL; none
// for any other type.
std::optional<std::wstring> StringOf(const RegValueBlob& value);

// The command a Run value holds: the UTF-16 text of a REG_SZ or REG_EXPAND_SZ
// value up to its first NUL, in UTF-8. None for any other type (Windows starts
// only these) and for text that cannot be converted exactly.
std::optional<std::string> CommandText(const RegValueBlob& value);
