#pragma once
#include <windows.h>

#include <functional>
#include <string>

#include "keeper/link/KeeperProtocol.h"
#include "win/Scoped.h"

namespace keeper {

// Serves the keeper's pipe on a thread of its own, one client at a time, one
// request per connection: reads it, hands a well-formed one to the handler and
// writes the one reply. A malformed, oversized or unknown request is answered
// BadRequest without reaching the handler. A client that connects and sends
// nothing is dropped after kClientTimeoutMs, so that none can stop the others.
// The pipe admits interactive users (read and write, no new instances) and
// SYSTEM and administrators (all).
class PipeServer {
public:
    using Handler = std::function<Reply(const Request& request, HANDLE pipe)>;
    static constexpr DWORD kClientTimeoutMs = 5000;

    PipeServer(std::wstring name, Handler handler);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Makes the pipe (its first instance: a name already taken fails) and
    // starts serving; false, with a log line, when it cannot.
    bool Start();
    // Returns once the thread has ended; a request under way is answered first.
    void Stop();

private:
    static DWORD WINAPI ThreadProcedure(LPVOID server);
    void Serve();
    // Waits for an overlapped operation or the stop; false on the stop or a timeout.
    bool Await(OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* transferred);
    void ServeClient();

    std::wstring name_;
    Handler handler_;
    win::UniqueHandle pipe_;
    win::UniqueHandle thread_;
    win::UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    win::UniqueHandle io_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

}  // namespace keeper
