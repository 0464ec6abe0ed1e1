#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "keeper/link/KeeperProtocol.h"

// The program's side of the keeper's pipe.
namespace keeper {

// Sends the bytes as one message and reads the one reply; false when no keeper
// answered (no pipe, busy past the wait, broken). Any bytes: tests send malformed ones.
bool Exchange(const std::wstring& pipeName, const std::vector<BYTE>& message, std::vector<BYTE>* reply,
              DWORD waitMs = 10000);

// One request; Status::NoService when no keeper answered or its reply was malformed.
Reply Call(const Request& request, const std::wstring& pipeName = kPipeName);

// Whether the keeper service keeps the machine's Run keys: asked of the service
// itself (a Ping). A service that is installed and still starting (at log-on)
// is waited for, up to waitMs; one that is not installed or stopped is not.
bool KeeperRunning(DWORD waitMs = 30000);

// Whether the Service Control Manager knows the keeper service, in whatever state.
bool KeeperInstalled();

}  // namespace keeper
