#include "keeperlink/KeeperClient.h"

#include <atomic>

#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace keeper {
namespace {

win::UniqueHandle ConnectPipe(const std::wstring& pipeName, DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        // Identification only: the service may look at the caller's token, never act as the caller.
        // Overlapped, so that no read or write waits past its bound.
        win::UniqueHandle pipe(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                           nullptr));
        if (pipe) return pipe;
        if (GetLastError() != ERROR_PIPE_BUSY) return win::UniqueHandle();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            PrintLine("Keeper pipe stayed busy for %lu ms: taken as no answer\n", waitMs);
            return win::UniqueHandle();
        }
        WaitNamedPipeW(pipeName.c_str(), static_cast<DWORD>(deadline - now));
    }
}

enum class Direction { Write, Read };

// One read or write of the pipe, waited for until the deadline. Past it, the
// operation is cancelled and its end waited for (the buffer is the caller's).
bool Transfer(HANDLE pipe, Direction direction, BYTE* data, DWORD size, ULONGLONG deadline, DWORD* done) {
    const win::UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event) return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    const BOOL started = direction == Direction::Write ? WriteFile(pipe, data, size, nullptr, &overlapped)
                                                       : ReadFile(pipe, data, size, nullptr, &overlapped);
    if (!started && GetLastError() != ERROR_IO_PENDING) return false;
    const ULONGLONG now = GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (WaitForSingleObject(event.Get(), left) != WAIT_OBJECT_0) {
        CancelIoEx(pipe, &overlapped);
        GetOverlappedResult(pipe, &overlapped, done, TRUE);
        SetLastError(ERROR_TIMEOUT);
        return false;
    }
    return GetOverlappedResult(pipe, &overlapped, done, FALSE) != FALSE;
}

// Installed and still starting: worth waiting for. One that runs and gave no
// answer within the bounds is not: others may keep its pipe busy, or it hangs.
bool ServiceStarting() { return QueryKeeperService().state == SERVICE_START_PENDING; }

// Whether the pipe's server is the expected process. A line for each new
// refused server, not for every try of a wait.
bool ServedByExpected(HANDLE pipe, const ExpectedServer& expected) {
    static std::atomic<ULONG> lastRefused{~ULONG{0}};
    ULONG server = 0;
    const DWORD wanted = expected ? expected() : 0;
    if (!GetNamedPipeServerProcessId(pipe, &server)) server = 0;
    if (wanted != 0 && server == wanted) return true;
    if (lastRefused.exchange(server) != server)
        PrintLine("Keeper pipe refused: it is served by process %lu, not by the running keeper service (process %lu)\n",
                  server, wanted);
    return false;
}

}  // namespace

ServiceState QueryKeeperService() {
    ServiceState found;
    found.installed = true;
    const win::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    const win::UniqueService service(manager ? OpenServiceW(manager.Get(), kServiceName, SERVICE_QUERY_STATUS)
                                             : nullptr);
    if (!service) {
        found.installed = GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST;
        return found;
    }
    SERVICE_STATUS_PROCESS status{};
    DWORD size = 0;
    if (QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                             &size)) {
        found.state = status.dwCurrentState;
        found.processId = status.dwProcessId;
    }
    return found;
}

DWORD RunningServiceProcessId() {
    const ServiceState service = QueryKeeperService();
    return service.state == SERVICE_RUNNING ? service.processId : 0;
}

bool Exchange(const std::wstring& pipeName, const std::vector<BYTE>& message, std::vector<BYTE>* reply,
              const ExpectedServer& expected, DWORD waitMs, DWORD replyMs) {
    const win::UniqueHandle pipe = ConnectPipe(pipeName, waitMs);
    // Checked before a byte is sent: another process may have taken the name.
    if (!pipe || !ServedByExpected(pipe.Get(), expected)) return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) return false;
    const ULONGLONG deadline = GetTickCount64() + replyMs;
    std::vector<BYTE> sent(message), buffer(kReplySize * 2);
    DWORD written = 0, read = 0;
    const bool answered =
        Transfer(pipe.Get(), Direction::Write, sent.data(), static_cast<DWORD>(sent.size()), deadline, &written) &&
        written == sent.size() &&
        Transfer(pipe.Get(), Direction::Read, buffer.data(), static_cast<DWORD>(buffer.size()), deadline, &read);
    if (!answered && GetLastError() == ERROR_TIMEOUT)
        PrintLine("Keeper did not answer within %lu ms: taken as no answer\n", replyMs);
    if (!answered) return false;
    buffer.resize(read);
    if (reply) *reply = std::move(buffer);
    return true;
}

Reply Call(const Request& request, const std::wstring& pipeName, const ExpectedServer& expected) {
    std::vector<BYTE> bytes;
    Reply reply;
    const DWORD replyMs = request.verb == Verb::Ping ? kPingReplyMs : kWorkReplyMs;
    if (!Exchange(pipeName, EncodeRequest(request), &bytes, expected, kConnectWaitMs, replyMs) ||
        !DecodeReply(bytes.data(), static_cast<DWORD>(bytes.size()), &reply))
        return Reply{};
    return reply;
}

bool KeeperRunning(DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (Call(Request{Verb::Ping, 0, L""}).status == Status::Ok) return true;
        if (GetTickCount64() >= deadline || !ServiceStarting()) return false;
        Sleep(250);
    }
}

bool KeeperInstalled() { return QueryKeeperService().installed; }

}  // namespace keeper
