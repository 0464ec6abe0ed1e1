#include "keeper/RemovalNotice.h"

#include <tlhelp32.h>

#include <utility>
#include <vector>

#include "keeper/KeeperLog.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/Clock.h"

namespace keeper {

namespace {

// The exit code of a Pacewick the removal had to end.
constexpr UINT kEndedByRemoval = 1;
// QueryFullProcessImageNameW's longest path, in characters.
constexpr DWORD kLongestPath = 32768;

struct RunningPacewick {
    win::UniqueHandle process;
    DWORD id = 0;
    DWORD session = 0;
};

LONG OpenProgramKey(registry::Key* key) {
    return key->Open(HKEY_LOCAL_MACHINE, keys::kProgram, KEY_SET_VALUE | KEY_WOW64_64KEY);
}

bool SameText(const std::wstring& one, const wchar_t* other) {
    return CompareStringOrdinal(one.c_str(), -1, other, -1, TRUE) == CSTR_EQUAL;
}

// The image a process runs, by its full path; empty when it cannot be read.
std::wstring ImageOf(HANDLE process) {
    std::vector<wchar_t> path(kLongestPath);
    DWORD length = kLongestPath;
    return QueryFullProcessImageNameW(process, 0, path.data(), &length) ? std::wstring(path.data(), length)
                                                                        : std::wstring();
}

// Every running process of `program`, opened to be waited for and ended.
// False when the running programs cannot be listed: none is known not to run.
bool FindRunning(const std::wstring& program, std::vector<RunningPacewick>* found) {
    const std::wstring::size_type slash = program.find_last_of(L'\\');
    win::UniqueHandle snapshot(slash == std::wstring::npos ? nullptr : CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!snapshot || !Process32FirstW(snapshot.Get(), &entry)) {
        Log("Running programs not listed (%lu)", GetLastError());
        return false;
    }
    const std::wstring name = program.substr(slash + 1);
    do {
        if (!SameText(name, entry.szExeFile) || entry.th32ProcessID == GetCurrentProcessId()) continue;
        RunningPacewick running;
        running.id = entry.th32ProcessID;
        ProcessIdToSessionId(running.id, &running.session);
        running.process.Reset(
            OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE | PROCESS_TERMINATE, FALSE, running.id));
        // ERROR_INVALID_PARAMETER: it has ended since the list was made.
        if (!running.process && GetLastError() != ERROR_INVALID_PARAMETER)
            Log("Process %lu in session %lu not opened (%lu): left alone", running.id, running.session,
                GetLastError());
        if (!running.process || !SameText(ImageOf(running.process.Get()), program.c_str())) continue;
        Log("Pacewick runs in session %lu (process %lu): waiting for it to end", running.session, running.id);
        found->push_back(std::move(running));
    } while (Process32NextW(snapshot.Get(), &entry));
    return true;
}

DWORD Left(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now < deadline ? static_cast<DWORD>(deadline - now) : 0;
}

// Waits for each until one deadline for all; true when every one has ended.
bool WaitForAll(const std::vector<RunningPacewick>& running, DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    bool ended = true;
    for (const RunningPacewick& one : running)
        ended = WaitForSingleObject(one.process.Get(), Left(deadline)) == WAIT_OBJECT_0 && ended;
    return ended;
}

bool Runs(const RunningPacewick& one) { return WaitForSingleObject(one.process.Get(), 0) == WAIT_TIMEOUT; }

}  // namespace

RemovalNotice::RemovalNotice() {
    const ULONGLONG started = win::FileTimeNow();
    registry::Key key;
    LONG status = OpenProgramKey(&key);
    if (status == ERROR_SUCCESS)
        status = key.WriteValue(keys::kRemovalStarted, RegValueBlob(REG_QWORD, &started, sizeof started));
    up_ = status == ERROR_SUCCESS;
    if (up_)
        Log("Removal notice set: every running Pacewick ends");
    else
        Log("Removal notice not set (%ld): a running Pacewick is ended after %lu s", status,
            kPacewickEndWait / 1000);
}

RemovalNotice::~RemovalNotice() { Withdraw(); }

void RemovalNotice::Withdraw() {
    if (!up_) return;
    up_ = false;
    registry::Key key;
    LONG status = OpenProgramKey(&key);
    if (status == ERROR_SUCCESS) status = key.DeleteValue(keys::kRemovalStarted);
    if (status == ERROR_SUCCESS)
        Log("Removal notice withdrawn");
    else
        Log("Removal notice not withdrawn (%ld): Pacewick ignores it after ten minutes", status);
}

bool EndEveryPacewick(const PacewickSweep& sweep) {
    std::vector<RunningPacewick> running;
    if (!FindRunning(sweep.program, &running)) {
        Log("Running Pacewicks not known: the removal cannot go on");
        return false;
    }
    if (running.empty()) {
        Log("No Pacewick runs");
        return true;
    }
    if (WaitForAll(running, sweep.waitMs)) {
        Log("Every running Pacewick has ended");
        return true;
    }
    for (const RunningPacewick& one : running) {
        if (!Runs(one)) continue;
        Log("Pacewick in session %lu (process %lu) did not end within %lu ms: it is ended", one.session, one.id,
            sweep.waitMs);
        if (!sweep.end(one.process.Get(), kEndedByRemoval))
            Log("Pacewick in session %lu (process %lu) not ended (%lu)", one.session, one.id, GetLastError());
    }
    WaitForAll(running, sweep.endedWaitMs);
    bool ended = true;
    for (const RunningPacewick& one : running) {
        if (!Runs(one)) continue;
        Log("Pacewick in session %lu (process %lu) still runs: the removal cannot go on", one.session, one.id);
        ended = false;
    }
    return ended;
}

}  // namespace keeper
