#pragma once
#include <windows.h>

#include "win/Scoped.h"

// The current user's own keys. The installer makes them only for the account
// that installs the program, but Windows starts it for every account: an
// account without them must still get its delay and keep its programs.
namespace registry {

// Opens the current user's key at `path` with `access`, made (empty) first
// when it is missing; a key that exists is opened as it is. 0 or the
// registry's status.
LONG CreateUserKey(const char* path, REGSAM access, win::UniqueKey* key);

// Makes the current user's Config and BackUp keys where they are missing.
// True when both exist afterwards. The machine's keys are not the account's
// and are left alone.
bool CreateAccountKeys();

}  // namespace registry
