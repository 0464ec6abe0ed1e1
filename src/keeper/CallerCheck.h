#pragma once
#include <windows.h>

#include <functional>

namespace keeper {

// Whether the client at the other end of the pipe may change the machine's
// lists (restore them, resume the take-overs, delete an entry).
// Replaceable, since under Wine every token is an administrator's.
using CallerCheck = std::function<bool(HANDLE pipe)>;

// True only when the caller's token is elevated and holds the administrators
// group enabled: a standard user, and an administrator's filtered (unelevated)
// token, are refused.
bool CallerIsElevatedAdministrator(HANDLE pipe);

}  // namespace keeper
