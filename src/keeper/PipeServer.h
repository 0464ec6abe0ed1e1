#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "keeper/link/KeeperProtocol.h"
#include "win/Scoped.h"

namespace keeper {

// Serves the keeper's pipe: kInstances instances, each on a thread of its own,
// one request per connection: reads it, hands a well-formed one to the handler
// and writes the one reply. A malformed, oversized or unknown request is
// answered BadRequest without reaching the handler. A client has
// kRequestTimeoutMs from its connection to send the whole request and is then
// dropped, and kReplyTimeoutMs to read the reply and close its end: clients
// that connect and say nothing hold an instance only briefly, and up to
// kInstances - 1 of them at a time leave an instance free for the others.
// The pipe admits interactive users (read and write, no new instances) and
// SYSTEM and administrators (all).
class PipeServer {
public:
    using Handler = std::function<Reply(const Request& request, HANDLE pipe)>;
    static constexpr DWORD kInstances = 16;  // a thread each, waiting while no client is there
    static constexpr DWORD kRequestTimeoutMs = 250;
    static constexpr DWORD kReplyTimeoutMs = 1000;  // until the client has read the reply and closed its end
    static constexpr DWORD kRetryMs = 1000;

    PipeServer(std::wstring name, Handler handler);
    ~PipeServer();
    PipeServer(const PipeServer&) = delete;
    PipeServer& operator=(const PipeServer&) = delete;

    // Starts serving. The first instance is made with FILE_FLAG_FIRST_PIPE_INSTANCE,
    // so that a name another process holds is never served beside it; while it
    // cannot be made, it is tried again every kRetryMs until it is or Stop.
    // False (with a log line) when the pipe is not made at once.
    bool Start();
    // Returns once every thread has ended; a request under way is answered first.
    void Stop();

private:
    struct Instance {
        PipeServer* server = nullptr;
        win::UniqueHandle pipe;
        win::UniqueHandle io{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        win::UniqueHandle thread;
    };

    static DWORD WINAPI ThreadProcedure(LPVOID instance);
    bool MakeInstance(Instance& instance, DWORD firstFlag);
    // Until the instance exists: the first one is retried, the others wait for it. False on the stop.
    bool AwaitPipe(Instance& instance);
    void Serve(Instance& instance);
    // Waits for an overlapped operation of the instance or the stop; false on the stop or a timeout.
    bool Await(Instance& instance, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* transferred);
    // The one message, up to kMaxRequest bytes kept; false when none came in time.
    bool ReadRequest(Instance& instance, std::vector<BYTE>* message, bool* oversized);
    void ServeClient(Instance& instance);

    std::wstring name_;
    Handler handler_;
    win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>> security_;
    Instance instances_[kInstances];
    win::UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    win::UniqueHandle made_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // the first instance exists
};

}  // namespace keeper
