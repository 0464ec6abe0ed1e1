#pragma once
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace win {

// A known folder's path as the shell names it for this account, whether or not
// it exists yet; empty when the shell cannot say.
std::wstring KnownFolder(REFKNOWNFOLDERID id);

}  // namespace win
