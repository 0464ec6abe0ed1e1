#include "keeper/link/KeeperClient.h"

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

// False when the service is not installed (or cannot be asked).
bool QueryService(SERVICE_STATUS* status) {
    const win::UniqueService manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager) return false;
    const win::UniqueService service(OpenServiceW(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
    return service && QueryServiceStatus(service.Get(), status);
}

// Installed and starting or running: worth waiting for.
bool ServiceComingUp() {
    SERVICE_STATUS status{};
    if (!QueryService(&status)) return false;
    return status.dwCurrentState == SERVICE_START_PENDING || status.dwCurrentState == SERVICE_RUNNING;
}

}  // namespace

bool Exchange(const std::wstring& pipeName, const std::vector<BYTE>& message, std::vector<BYTE>* reply,
              DWORD waitMs) {
    const win::UniqueHandle pipe = ConnectPipe(pipeName, waitMs);
    if (!pipe) return false;
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

Reply Call(const Request& request, const std::wstring& pipeName) {
    std::vector<BYTE> bytes;
    Reply reply;
    if (!Exchange(pipeName, EncodeRequest(request), &bytes) ||
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

bool KeeperInstalled() {
    SERVICE_STATUS status{};
    return QueryService(&status);
}

}  // namespace keeper
