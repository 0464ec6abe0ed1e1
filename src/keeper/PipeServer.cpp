#include "keeper/PipeServer.h"

#include <sddl.h>

#include <vector>

#include "keeper/KeeperLog.h"

namespace keeper {
namespace {

// SYSTEM and administrators: everything. Interactive users: read, write data
// and attributes (the message mode), but not FILE_CREATE_PIPE_INSTANCE, so that
// no user can serve the pipe in the keeper's place.
constexpr const wchar_t* kPipeSecurity = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x0012019b;;;IU)";

using UniqueSecurity = win::Unique<win::LocalTraits<PSECURITY_DESCRIPTOR>>;

}  // namespace

PipeServer::PipeServer(std::wstring name, Handler handler) : name_(std::move(name)), handler_(std::move(handler)) {}

PipeServer::~PipeServer() { Stop(); }

bool PipeServer::Start() {
    if (thread_) return true;
    UniqueSecurity descriptor;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1, descriptor.Put(),
                                                              nullptr)) {
        Log("Pipe security could not be made (%lu)", GetLastError());
        return false;
    }
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    pipe_.Reset(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 kReplySize * 2, kMaxRequest, 0, &attributes));
    if (!pipe_) {
        Log("Pipe could not be made (%lu)", GetLastError());
        return false;
    }
    ResetEvent(stop_.Get());
    thread_.Reset(CreateThread(nullptr, 0, ThreadProcedure, this, 0, nullptr));
    if (!thread_) {
        Log("Pipe thread could not be started (%lu)", GetLastError());
        pipe_.Reset();
        return false;
    }
    return true;
}

void PipeServer::Stop() {
    if (!thread_) return;
    SetEvent(stop_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
    pipe_.Reset();
}

DWORD WINAPI PipeServer::ThreadProcedure(LPVOID server) {
    static_cast<PipeServer*>(server)->Serve();
    return 0;
}

bool PipeServer::Await(OVERLAPPED* overlapped, DWORD timeoutMs, DWORD* transferred) {
    const HANDLE events[] = {stop_.Get(), overlapped->hEvent};
    const DWORD wait = WaitForMultipleObjects(2, events, FALSE, timeoutMs);
    if (wait != WAIT_OBJECT_0 + 1) {
        CancelIo(pipe_.Get());
        GetOverlappedResult(pipe_.Get(), overlapped, transferred, TRUE);  // the cancel has ended
        SetLastError(ERROR_OPERATION_ABORTED);
        return false;
    }
    return GetOverlappedResult(pipe_.Get(), overlapped, transferred, FALSE) != FALSE;
}

void PipeServer::Serve() {
    while (WaitForSingleObject(stop_.Get(), 0) != WAIT_OBJECT_0) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = io_.Get();
        ResetEvent(io_.Get());
        bool connected = ConnectNamedPipe(pipe_.Get(), &overlapped) != FALSE;
        const DWORD error = GetLastError();
        DWORD ignored = 0;
        if (!connected && error == ERROR_PIPE_CONNECTED) connected = true;
        else if (!connected && error == ERROR_IO_PENDING) connected = Await(&overlapped, INFINITE, &ignored);
        else if (!connected) {
            Log("Pipe connection failed (%lu)", error);
            Sleep(100);  // never a busy loop on a pipe that keeps failing
        }
        if (connected) ServeClient();
        DisconnectNamedPipe(pipe_.Get());
    }
}

void PipeServer::ServeClient() {
    std::vector<BYTE> message;
    std::vector<BYTE> buffer(kMaxRequest + 1);
    bool oversized = false;
    for (;;) {  // one message, in parts when it is longer than the buffer
        OVERLAPPED overlapped{};
        overlapped.hEvent = io_.Get();
        ResetEvent(io_.Get());
        DWORD read = 0;
        BOOL done = ReadFile(pipe_.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, &overlapped);
        DWORD error = done ? ERROR_SUCCESS : GetLastError();
        if (!done && error == ERROR_IO_PENDING) {
            done = Await(&overlapped, kClientTimeoutMs, &read);
            error = done ? ERROR_SUCCESS : GetLastError();
        } else if (!done && error == ERROR_MORE_DATA) {
            GetOverlappedResult(pipe_.Get(), &overlapped, &read, TRUE);
        }
        if (!done && error != ERROR_MORE_DATA) {
            if (error != ERROR_BROKEN_PIPE) Log("Request not read (%lu)", error);
            return;
        }
        if (message.size() <= kMaxRequest) message.insert(message.end(), buffer.begin(), buffer.begin() + read);
        if (message.size() > kMaxRequest) oversized = true;
        if (done) break;
    }
    Request request;
    Reply reply{Status::BadRequest, 0};
    if (oversized || !DecodeRequest(message.data(), static_cast<DWORD>(message.size()), &request)) {
        LogRefusal("Request refused: malformed or unknown (%lu bytes%s)",
                   static_cast<unsigned long>(message.size()), oversized ? " or more" : "");
    } else {
        reply = handler_(request, pipe_.Get());
    }
    const std::vector<BYTE> bytes = EncodeReply(reply);
    OVERLAPPED overlapped{};
    overlapped.hEvent = io_.Get();
    ResetEvent(io_.Get());
    DWORD written = 0;
    BOOL sent = WriteFile(pipe_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, &overlapped);
    if (!sent && GetLastError() == ERROR_IO_PENDING) sent = Await(&overlapped, kClientTimeoutMs, &written);
    if (!sent) {
        Log("Reply not sent (%lu)", GetLastError());
        return;
    }
    // Disconnecting throws away a reply not yet read: wait (bounded) until the
    // client has read it and closed its end.
    overlapped = OVERLAPPED{};
    overlapped.hEvent = io_.Get();
    ResetEvent(io_.Get());
    DWORD read = 0;
    if (!ReadFile(pipe_.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING)
        Await(&overlapped, kClientTimeoutMs, &read);
}

}  // namespace keeper
