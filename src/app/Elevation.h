#pragma once
#include <windows.h>

#include <string>

// Asking Windows to repeat something as an administrator.
namespace machinekeys {

// Starts this program elevated ("runas") with `parameters` and waits, bounded,
// for it to end. False, with a line naming `what`, when it did not start
// (the user declined the consent prompt, or no path of the program).
bool StartElevated(HWND owner, const std::wstring& parameters, const char* what);

// Tells the user why (`text`) and starts the elevated copy only on Yes.
bool OfferElevated(HWND owner, const std::wstring& text, const std::wstring& parameters, const char* what);

// Whether this process's account is an administrator's, elevated or not (UAC's
// filtered token keeps the administrators' group, for denying only).
bool IsAdministratorAccount();

}  // namespace machinekeys
