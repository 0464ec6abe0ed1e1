#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "keeperlink/KeeperProtocol.h"

// The program's side of the keeper's pipe.
namespace keeper {

// The keeper service as the Service Control Manager reports it.
struct ServiceState {
    bool installed = false;  // also when the manager cannot tell: never taken for "no service"
    DWORD state = 0;         // SERVICE_RUNNING etc.; 0 when unknown
    DWORD processId = 0;
};
ServiceState QueryKeeperService();

// The process whose pipe may be answered: the keeper service's while it runs,
// else 0 (none). Tests serve a pipe of their own in their own process.
using ExpectedServer = std::function<DWORD()>;
DWORD RunningServiceProcessId();

// How long the program waits for the keeper, so that a keeper that hangs, or
// a pipe that others keep busy, never holds it up for long: for a free
// instance of the pipe; for the reply to a Ping (the service reads one
// registry value for it); for the reply to a request that changes the machine
// (a restore or a take-over of the machine's entries, after one under way).
constexpr DWORD kConnectWaitMs = 2000;
constexpr DWORD kPingReplyMs = 3000;
constexpr DWORD kWorkReplyMs = 10000;

// Sends the bytes as one message and reads the one reply; false when no keeper
// answered (no pipe, busy past waitMs, no reply within replyMs, broken) or the
// pipe's server is not the expected process (a diagnostic line says so, and
// one for each bound passed). Any bytes: tests send malformed ones.
bool Exchange(const std::wstring& pipeName, const std::vector<BYTE>& message, std::vector<BYTE>* reply,
              const ExpectedServer& expected = RunningServiceProcessId, DWORD waitMs = kConnectWaitMs,
              DWORD replyMs = kWorkReplyMs);

// One request; Status::NoService when no keeper answered or its reply was malformed.
Reply Call(const Request& request, const std::wstring& pipeName = kPipeName,
           const ExpectedServer& expected = RunningServiceProcessId);

// Whether the keeper service keeps the machine's Run keys: asked of the service
// itself (a Ping). A service that is installed and still starting (at log-on)
// is waited for, up to waitMs; one that runs and does not answer within the
// bounds above, or is not installed or stopped, is not.
bool KeeperRunning(DWORD waitMs = 30000);

// Whether the Service Control Manager knows the keeper service, in whatever state.
bool KeeperInstalled();

}  // namespace keeper
