#pragma once
#include <windows.h>

// Every key the program touches. The installer makes the Config and BackUp
// keys, Windows the Run keys. The program makes the current user's Config and
// BackUp keys only where they are missing (an account other than the
// installer's); it never creates a machine key.
namespace keys {

constexpr const char* kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kBackUp = "software\\Quorvell Software\\Pacewick\\BackUp";
constexpr const char* kConfig = "software\\Quorvell Software\\Pacewick\\Config";

// The program's own value in the machine Run key.
constexpr const char* kSelfValueName = "Pacewick";

}  // namespace keys
