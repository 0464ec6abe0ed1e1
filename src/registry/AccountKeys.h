#pragma once
#include <windows.h>

// The current user's own keys. The installer makes them only for the account
// that installs the program, but Windows starts it for every account: an
// account without them must still get its delay and keep its programs.
namespace registry {

// Makes the current user's Config and BackUp keys where they are missing.
// True when both exist afterwards. The machine's keys are not the account's
// and are left alone.
bool CreateAccountKeys();

}  // namespace registry
