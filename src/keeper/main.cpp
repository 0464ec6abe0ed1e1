// pacewick-keeper.exe: the keeper service. A program of its own, not a mode of
// pacewick.exe, so that no window code is ever loaded into a LocalSystem process.
//   pacewick-keeper.exe            as the service (started by the Service Control Manager)
//   pacewick-keeper.exe -console   the same work in a console until Enter (development, benchmark)
//   pacewick-keeper.exe -restore-for-removal   the machine's entries back, for the package's removal
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "events/EventLog.h"
#include "keeper/Keeper.h"
#include "keeper/KeeperLog.h"
#include "keeper/ServiceHardening.h"
#include "win/ModulePath.h"

namespace {

SERVICE_STATUS_HANDLE statusHandle = nullptr;
HANDLE stopEvent = nullptr;

void Report(DWORD state, DWORD waitHint = 0) {
    static DWORD checkPoint = 0;
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status.dwWin32ExitCode = NO_ERROR;
    status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : ++checkPoint;
    status.dwWaitHint = waitHint;
    if (statusHandle && !SetServiceStatus(statusHandle, &status))
        keeper::Log("Service status %lu not reported (%lu)", state, GetLastError());
}

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        Report(SERVICE_STOP_PENDING, 10000);
        SetEvent(stopEvent);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    statusHandle = RegisterServiceCtrlHandlerExW(keeper::kServiceName, Control, nullptr);
    keeper::OpenLog();
    if (!statusHandle) {
        keeper::Log("Service control handler not registered (%lu)", GetLastError());
        return;
    }
    Report(SERVICE_START_PENDING, 30000);
    keeper::HardenService(keeper::kServiceName);
    {
        events::EventLog log(events::kKeeperSource);
        keeper::Keeper::Options options;
        options.events = &log;
        keeper::Keeper keeper(options);
        keeper.Start();
        Report(SERVICE_RUNNING);
        WaitForSingleObject(stopEvent, INFINITE);
        keeper::Log("Keeper stopping");
        keeper.Stop();
    }
    keeper::Log("Keeper stopped");
    keeper::CloseLog();
    Report(SERVICE_STOPPED);
}

int RunInConsole() {
    keeper::OpenLog();
    events::EventLog log(events::kKeeperSource);
    keeper::Keeper::Options options;
    options.events = &log;
    keeper::Keeper keeper(options);
    keeper.Start();
    std::printf("keeper running\n");
    std::fflush(stdout);
    std::getchar();  // until Enter or the end of standard input
    keeper.Stop();
    keeper::Log("Keeper stopped");
    keeper::CloseLog();
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    win::LoadLibrariesFromSystemFolderOnly();
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (argc > 1 && std::wcscmp(argv[1], L"-console") == 0) return RunInConsole();
    if (argc > 1 && std::wcscmp(argv[1], L"-restore-for-removal") == 0) {
        events::EventLog log(events::kKeeperSource);
        return keeper::RestoreForRemoval(&log);
    }
    wchar_t name[] = L"PacewickKeeper";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherW(table)) {
        const DWORD error = GetLastError();
        keeper::OpenLog();
        keeper::Log("Not started as a service (%lu); use -console to run it by hand", error);
        keeper::CloseLog();
        events::EventLog(events::kKeeperSource)
            .Report(PACEWICK_EVENT_NOT_A_SERVICE, events::Type::Error, {std::to_wstring(error)});
        std::fprintf(stderr, "pacewick-keeper: not started as a service (%lu); use -console\n", error);
        return 1;
    }
    return 0;
}
