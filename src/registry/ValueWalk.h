#pragma once
#include <windows.h>

#include <functional>
#include <string>

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
};

// Visits the name of every value of a key, as many as the key held when the
// walk began, and prints the lines that account for it: the subkeys (listed,
// never entered), the number of values and one line per value. A value whose
// name cannot be read is skipped without a line. False, with no line, when the
// key cannot be queried at all.
bool WalkValueNames(HKEY key, const std::function<void(const ValueName& name)>& visit);

}  // namespace registry
