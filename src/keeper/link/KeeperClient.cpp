#include "keeper/link/KeeperClient.h"

#include <atomic>

#include "win/Diagnostics.h"
#include "win/Scoped.h"

namespace keeper {
namespace {

win::UniqueHandle ConnectPipe(const std::wstring& pipeName, DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        // Identification only: the service may look at the caller's token, never act as the caller.
        win::UniqueHandle pipe(CreateFileW(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                           SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe) return pipe;
        if (GetLastError() != ERROR_PIPE_BUSY) return win::UniqueHandle();
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return win::UniqueHandle();
        WaitNamedPipeW(pipeName.c_str(), static_cast<DWORD>(deadline - now));
    }
}

// Installed and starting or running: worth waiting for.
bool ServiceComingUp() {
    const DWORD state = QueryKeeperService().state;
    return state == SERVICE_START_PENDING || state == SERVICE_RUNNING;
}

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
              const ExpectedServer& expected, DWORD waitMs) {
    const win::UniqueHandle pipe = ConnectPipe(pipeName, waitMs);
    // Checked before a byte is sent: another process may have taken the name.
    if (!pipe || !ServedByExpected(pipe.Get(), expected)) return false;
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) return false;
    DWORD written = 0;
    if (!WriteFile(pipe.Get(), message.data(), static_cast<DWORD>(message.size()), &written, nullptr) ||
        written != message.size())
        return false;
    std::vector<BYTE> buffer(kReplySize * 2);
    DWORD read = 0;
    if (!ReadFile(pipe.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read, nullptr)) return false;
    buffer.resize(read);
    if (reply) *reply = std::move(buffer);
    return true;
}

Reply Call(const Request& request, const std::wstring& pipeName, const ExpectedServer& expected) {
    std::vector<BYTE> bytes;
    Reply reply;
    if (!Exchange(pipeName, EncodeRequest(request), &bytes, expected) ||
        !DecodeReply(bytes.data(), static_cast<DWORD>(bytes.size()), &reply))
        return Reply{};
    return reply;
}

bool KeeperRunning(DWORD waitMs) {
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (Call(Request{Verb::Ping, 0, L""}).status == Status::Ok) return true;
        if (GetTickCount64() >= deadline || !ServiceComingUp()) return false;
        Sleep(250);
    }
}

bool KeeperInstalled() { return QueryKeeperService().installed; }

}  // namespace keeper
