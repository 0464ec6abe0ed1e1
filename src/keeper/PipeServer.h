#pragma once
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "keeperlink/KeeperProtocol.h"
#include "win/Scoped.h"

namespace keeper {

// Who is at the other end of a pipe instance.
struct PipeClient {
    DWORD process = 0;    // 0 when it cannot be read
    std::string account;  // the user SID of the process's token; empty when it cannot be read
};
// The account of a client's process: AccountOfProcess, or a test's, which can
// show what Wine cannot make (processes of other accounts).
using AccountReader = std::string (*)(DWORD process);
std::atomic<AccountReader>& AccountReaderHook();
std::string AccountOfProcess(DWORD process);

// Serves the keeper's pipe: kInstances instances, each on a thread of its own,
// one request per connection: reads it, hands a well-formed one to the handler
// and writes the one reply. A malformed, oversized or unknown request is
// answered BadRequest without reaching the handler. A client has
// kRequestTimeoutMs from its connection to send the whole request and is then
// dropped, and kReplyTimeoutMs to read the reply and close its end. No process
// holds more than kPerProcess instances at a time, nor the processes of one
// account (and all whose account cannot be read, together) more than
// kPerAccount: a client over its share is dropped as soon as it connects, so
// that no process or account, however many clients it opens and leaves
// unread, keeps the others out. The pipe admits interactive users (read and
// write, no new instances) and SYSTEM and administrators (all).
class PipeServer {
public:
    using Handler = std::function<Reply(const Request& request, HANDLE pipe)>;
    static constexpr DWORD kInstances = 16;  // a thread each, waiting while no client is there
    static constexpr DWORD kPerProcess = 2;
    static constexpr DWORD kPerAccount = 4;  // a process of the account finds room beside one that holds its share
    static constexpr DWORD kRequestTimeoutMs = 250;
    // Until the client has read the reply and closed its end. Not shorter: a
    // reply thrown away tells a slow but honest client "no answer" after its
    // restore was done; the shares bound what a client that never reads holds.
    static constexpr DWORD kReplyTimeoutMs = 1000;
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
        PipeClient client;  // while served (under shares_)
        bool served = false;
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
    // Whether the connected client is within its process's and its account's
    // shares; if so, it counts against them until Release, else a line (capped) says why.
    bool Admit(Instance& instance);
    struct Holdings {
        DWORD process = 0, account = 0;
    };
    // Whose instances are counted: the client's process only, or its account's too.
    enum class Counted { Process, ProcessAndAccount };
    // The instances served to the client's process and (when counted) account; under shares_.
    Holdings HeldBy(const PipeClient& client, Counted counted) const;
    void Release(Instance& instance);

    std::wstring name_;
    Handler handler_;
    win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>> security_;
    Instance instances_[kInstances];
    std::mutex shares_;
    win::UniqueHandle stop_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    win::UniqueHandle made_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};  // the first instance exists
};

}  // namespace keeper
