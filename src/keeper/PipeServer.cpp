#include "keeper/PipeServer.h"

#include <sddl.h>

#include "keeper/KeeperLog.h"

namespace keeper {
namespace {

// SYSTEM and administrators: everything. Interactive users: read, write data
// and attributes (the message mode), but not FILE_CREATE_PIPE_INSTANCE, so that
// no user can serve the pipe in the keeper's place.
constexpr const wchar_t* kPipeSecurity = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019b;;;IU)";

DWORD Remaining(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

// An OVERLAPPED on the instance's event, reset for the next operation.
OVERLAPPED Overlapped(HANDLE event) {
    OVERLAPPED overlapped{};
    overlapped.hEvent = event;
    ResetEvent(event);
    return overlapped;
}

std::string AccountWithoutTest(DWORD process) { return AccountOfProcess(process); }

}  // namespace

std::atomic<AccountReader>& AccountReaderHook() {
    static std::atomic<AccountReader> reader{AccountWithoutTest};
    return reader;
}

// The process's own token, not the one the client chose to show on the pipe
// (the anonymous level shows none).
std::string AccountOfProcess(DWORD process) {
    const win::UniqueHandle opened(process ? OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process) : nullptr);
    win::UniqueHandle token;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    if (!opened || !OpenProcessToken(opened.Get(), TOKEN_QUERY, token.Put()) ||
        !GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size))
        return std::string();
    const PSID sid = reinterpret_cast<const TOKEN_USER*>(buffer)->User.Sid;
    return std::string(static_cast<const char*>(sid), GetLengthSid(sid));
}

PipeServer::PipeServer(std::wstring name, Handler handler) : name_(std::move(name)), handler_(std::move(handler)) {
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1, security_.Put(), nullptr))
        Log("Pipe security could not be made (%lu)", GetLastError());
    for (Instance& instance : instances_) instance.server = this;
}

PipeServer::~PipeServer() { Stop(); }

bool PipeServer::MakeInstance(Instance& instance, DWORD firstFlag) {
    if (!security_) return false;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security_.Get(), FALSE};
    instance.pipe.Reset(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | firstFlag,
                                         PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT |
                                             PIPE_REJECT_REMOTE_CLIENTS,
                                         kInstances, kReplySize * 2, kMaxRequest, 0, &attributes));
    return static_cast<bool>(instance.pipe);
}

bool PipeServer::Start() {
    if (instances_[0].thread) return true;
    ResetEvent(stop_.Get());
    ResetEvent(made_.Get());
    const bool made = MakeInstance(instances_[0], FILE_FLAG_FIRST_PIPE_INSTANCE);
    // Once, not at every try: a squatter would otherwise fill the log.
    if (!made) Log("Pipe could not be made (%lu): tried again every second until it is", GetLastError());
    for (Instance& instance : instances_) {
        instance.thread.Reset(CreateThread(nullptr, 0, ThreadProcedure, &instance, 0, nullptr));
        if (instance.thread) continue;
        Log("Pipe thread could not be started (%lu)", GetLastError());
        instance.pipe.Reset();  // an instance nobody serves would hold its client for good
    }
    return made && instances_[0].thread;
}

void PipeServer::Stop() {
    SetEvent(stop_.Get());
    for (Instance& instance : instances_) {
        if (instance.thread) WaitForSingleObject(instance.thread.Get(), INFINITE);
        instance.thread.Reset();
        instance.pipe.Reset();
    }
}

DWORD WINAPI PipeServer::ThreadProcedure(LPVOID instance) {
    Instance* served = static_cast<Instance*>(instance);
    served->server->Serve(*served);
    return 0;
}

bool PipeServer::AwaitPipe(Instance& instance) {
    if (&instance == &instances_[0]) {
        while (!instance.pipe) {
            if (WaitForSingleObject(stop_.Get(), kRetryMs) != WAIT_TIMEOUT) return false;
            if (MakeInstance(instance, FILE_FLAG_FIRST_PIPE_INSTANCE)) Log("Pipe made: accounts can reach the keeper");
        }
        SetEvent(made_.Get());
        return true;
    }
    const HANDLE events[] = {stop_.Get(), made_.Get()};
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return false;
    if (MakeInstance(instance, 0)) return true;
    Log("Pipe instance could not be made (%lu)", GetLastError());
    return false;
}

bool PipeServer::Await(Instance& instance, OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* transferred) {
    const HANDLE events[] = {stop_.Get(), overlapped->hEvent};
    const DWORD wait = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (wait != WAIT_OBJECT_0 + 1) {
        CancelIo(instance.pipe.Get());
        GetOverlappedResult(instance.pipe.Get(), overlapped, transferred, TRUE);  // the cancel has ended
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    return GetOverlappedResult(instance.pipe.Get(), overlapped, transferred, FALSE) != FALSE;
}

void PipeServer::Serve(Instance& instance) {
    if (!AwaitPipe(instance)) return;
    while (WaitForSingleObject(stop_.Get(), 0) != WAIT_OBJECT_0) {
        OVERLAPPED overlapped = Overlapped(instance.io.Get());
        bool connected = ConnectNamedPipe(instance.pipe.Get(), &overlapped) != FALSE;
        const DWORD error = GetLastError();
        DWORD ignored = 0;
        if (!connected && error == ERROR_PIPE_CONNECTED) connected = true;
        else if (!connected && error == ERROR_IO_PENDING) connected = Await(instance, &overlapped, INFINITE, &ignored);
        else if (!connected && error != ERROR_NO_DATA) {  // not a client that came and went
            LogRefusal("Pipe connection failed (%lu)", error);
            Sleep(100);  // never a busy loop on a pipe that keeps failing
        }
        if (connected && Admit(instance)) ServeClient(instance);
        // Released first: a client that connects again once dropped finds its share free.
        Release(instance);
        DisconnectNamedPipe(instance.pipe.Get());
    }
}

PipeServer::Holdings PipeServer::HeldBy(const PipeClient& client, Counted counted) const {
    Holdings held;
    for (const Instance& other : instances_) {
        const bool process = other.client.process == client.process;
        const bool account = counted == Counted::ProcessAndAccount && other.client.account == client.account;
        // Not one whose client has closed its end: its thread has yet to see it,
        // and the client's next request, right after, is still within its share.
        if (!other.served || !(process || account) ||
            !PeekNamedPipe(other.pipe.Get(), nullptr, 0, nullptr, nullptr, nullptr))
            continue;
        held.process += process;
        held.account += account;
    }
    return held;
}

bool PipeServer::Admit(Instance& instance) {
    PipeClient client;
    if (!GetNamedPipeClientProcessId(instance.pipe.Get(), &client.process)) client.process = 0;
    Holdings held;
    {
        const std::lock_guard<std::mutex> guard(shares_);
        held = HeldBy(client, Counted::Process);
    }
    // The process first: the clients of one over its share, however many, cost no token read.
    if (held.process < kPerProcess) {
        client.account = AccountReaderHook().load()(client.process);
        const std::lock_guard<std::mutex> guard(shares_);
        held = HeldBy(client, Counted::ProcessAndAccount);
        if (held.process < kPerProcess && held.account < kPerAccount) {
            instance.client = std::move(client);
            instance.served = true;
            return true;
        }
    }
    if (held.process >= kPerProcess)
        LogRefusal("Client dropped: its process (%lu) has %lu instances of the pipe already", client.process,
                   held.process);
    else
        LogRefusal("Client dropped: the account of its process (%lu) has %lu instances of the pipe already",
                   client.process, held.account);
    return false;
}

void PipeServer::Release(Instance& instance) {
    const std::lock_guard<std::mutex> guard(shares_);
    instance.served = false;
}

bool PipeServer::ReadRequest(Instance& instance, std::vector<BYTE>* message, bool* oversized) {
    const ULONGLONG deadline = GetTickCount64() + kRequestTimeoutMs;
    std::vector<BYTE> buffer(kMaxRequest + 1);
    for (;;) {  // one message, in parts when it is longer than the buffer
        OVERLAPPED overlapped = Overlapped(instance.io.Get());
        DWORD read = 0;
        BOOL done = ReadFile(instance.pipe.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, &overlapped);
        DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (!done && error == ERROR_IO_PENDING) {
            done = Await(instance, &overlapped, Remaining(deadline), &read);
            error = done ? ERROR_SUCCESS : GetLastError();
        } else if (!done && error == ERROR_MORE_DATA) {
            GetOverlappedResult(instance.pipe.Get(), &overlapped, &read, TRUE);
        }
        // A client that said nothing in time goes without a line, and the other
        // failures a client causes are rate-limited: a user could fill the log with them.
        if (!done && error != ERROR_MORE_DATA) {
            if (error != ERROR_BROKEN_PIPE && error != ERROR_OPERATION_ABORTED) LogRefusal("Request not read (%lu)", error);
            return false;
        }
        if (message->size() <= kMaxRequest) message->insert(message->end(), buffer.begin(), buffer.begin() + read);
        if (message->size() > kMaxRequest) *oversized = true;
        if (done) return true;
    }
}

void PipeServer::ServeClient(Instance& instance) {
    std::vector<BYTE> message;
    bool oversized = false;
    if (!ReadRequest(instance, &message, &oversized)) return;
    Request request;
    Reply reply{Status::BadRequest, 0};
    if (oversized || !DecodeRequest(message.data(), static_cast<DWORD>(message.size()), &request)) {
        LogRefusal("Request refused: malformed or unknown (%lu bytes%s)",
                   static_cast<unsigned long>(message.size()), oversized ? " or more" : "");
    } else {
        reply = handler_(request, instance.pipe.Get());
    }
    const std::vector<BYTE> bytes = EncodeReply(reply);
    const ULONGLONG deadline = GetTickCount64() + kReplyTimeoutMs;
    OVERLAPPED overlapped = Overlapped(instance.io.Get());
    DWORD written = 0;
    BOOL sent = WriteFile(instance.pipe.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &overlapped);
    if (!sent && GetLastError() == ERROR_IO_PENDING) sent = Await(instance, &overlapped, Remaining(deadline), &written);
    if (!sent) {
        LogRefusal("Reply not sent (%lu)", GetLastError());  // the client went first
        return;
    }
    // Disconnecting throws away a reply not yet read: wait (bounded) until the
    // client has read it and closed its end.
    overlapped = Overlapped(instance.io.Get());
    BYTE ignored[kReplySize];
    DWORD read = 0;
    if (!ReadFile(instance.pipe.Get(), ignored, sizeof ignored, &read, &overlapped) && GetLastError() == ERROR_IO_PENDING)
        Await(instance, &overlapped, Remaining(deadline), &read);
}

}  // namespace keeper
