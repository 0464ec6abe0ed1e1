#pragma once
#include <windows.h>

#include <functional>

namespace registry {

// Visits the name of every value of a key, as many as the key held when the
// walk began, and prints the lines that account for it: the subkeys (listed,
// never entered), the number of values and one line per value. A value whose
// name cannot be read is skipped without a line. False, with no line, when the
// key cannot be queried at all.
bool WalkValueNames(HKEY key, const std::function<void(const char* name)>& visit);

}  // namespace registry
