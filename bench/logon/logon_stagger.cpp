// Windows' own pace for start-up programs since Windows 8, as the second
// anchor beside "all at once": one program after another, each once the one
// before has settled, each at low priority for its first 60 s.
// Settled: the program (its process and all it started, one job) has ended,
// or used under 10% of one CPU over the last 500 ms after at least 500 ms of
// running; at most kBound after its start, so that a program that never goes
// quiet holds the others back 5 s at most (12 such programs would still all
// have started within the first minute).
// COMMANDS holds one command line a line, as all.bat starts them after
// `start ""`; a .bat runs under cmd /c, as `start` runs it. Logs
// "stagger N settled|ended|bound MS CPU_SECONDS" for program N (from 1)
// into LOG.
//   logon_stagger LOG COMMANDS
#include "LogonClock.h"

#include <tlhelp32.h>

#include <map>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWindowMs = 500;
constexpr double kQuietShare = 0.10;
constexpr DWORD kBoundMs = 5000;
constexpr double kLowForMs = 60000;

// MEMORY_PRIORITY_INFORMATION and SetProcessInformation are Windows 8's: looked
// up, as a program built for Windows 7 must.
struct MemoryPriority {
    ULONG value;
};
using SetProcessInformationFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);

bool SetMemoryPriority(HANDLE process, ULONG value) {
    const HMODULE kernel = GetModuleHandleA("kernel32.dll");
    const auto set = kernel ? reinterpret_cast<SetProcessInformationFn>(
                                  reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")))
                            : nullptr;
    MemoryPriority priority{value};
    return set && set(process, ProcessMemoryPriority, &priority, sizeof priority);
}

double Seconds(const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

struct Started {
    win::UniqueHandle process;
    win::UniqueHandle job;  // the program and whatever it starts
    double startMs = 0;
    bool lowered = false;
};

// The processes of the program's job (the program itself where none is found).
// Asked process by process (IsProcessInJob, which Wine answers only for a
// handle with PROCESS_QUERY_INFORMATION): Wine's list of a job's processes
// leaves out the ones its first process started, such as a .bat's program.
std::vector<DWORD> ProcessIds(const Started& program) {
    std::vector<DWORD> pids;
    win::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    PROCESSENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Process32First(snapshot.Get(), &entry); more;
         more = Process32Next(snapshot.Get(), &entry)) {
        win::UniqueHandle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, entry.th32ProcessID));
        BOOL inJob = FALSE;
        if (process && IsProcessInJob(process.Get(), program.job.Get(), &inJob) && inJob)
            pids.push_back(entry.th32ProcessID);
    }
    if (pids.empty()) pids.push_back(GetProcessId(program.process.Get()));
    return pids;
}

// CPU seconds the program's threads have used since `last` saw them, and
// `last` brought up to date. Counted thread by thread: Wine keeps no CPU times
// for another process as a whole, but reads each thread's from Linux. A thread
// that ended meanwhile loses its last part, as its work is done.
double CpuSince(const Started& program, std::map<DWORD, double>* last) {
    const std::vector<DWORD> pids = ProcessIds(program);
    win::UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    double used = 0;
    std::map<DWORD, double> now;
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot && Thread32First(snapshot.Get(), &entry); more; more = Thread32Next(snapshot.Get(), &entry)) {
        if (std::find(pids.begin(), pids.end(), entry.th32OwnerProcessID) == pids.end()) continue;
        win::UniqueHandle thread(OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ThreadID));
        FILETIME created, exited, kernel, user;
        if (!thread || !GetThreadTimes(thread.Get(), &created, &exited, &kernel, &user)) continue;
        const double seconds = Seconds(kernel) + Seconds(user);
        const auto before = last->find(entry.th32ThreadID);
        used += seconds - (before == last->end() ? 0 : before->second);
        now[entry.th32ThreadID] = seconds;
    }
    *last = std::move(now);
    return std::max(0.0, used);
}

// True once neither the process nor anything it started in its job still runs.
bool Ended(const Started& program) {
    if (WaitForSingleObject(program.process.Get(), 0) != WAIT_OBJECT_0) return false;
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION job{};
    return !QueryInformationJobObject(program.job.Get(), JobObjectBasicAccountingInformation, &job, sizeof job,
                                      nullptr) ||
           job.ActiveProcesses == 0;
}

// Puts every process of the program's job back to normal priority, or all of
// it at low priority (a program's children inherit its class as they start).
void SetLowered(Started& program, bool lowered) {
    std::vector<win::UniqueHandle> processes;
    for (const DWORD pid : ProcessIds(program))
        processes.emplace_back(OpenProcess(PROCESS_SET_INFORMATION | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    for (const auto& process : processes) {
        const HANDLE handle = process ? process.Get() : program.process.Get();
        SetPriorityClass(handle, lowered ? BELOW_NORMAL_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
        SetMemoryPriority(handle, lowered ? MEMORY_PRIORITY_LOW : MEMORY_PRIORITY_NORMAL);
    }
    program.lowered = lowered;
}

bool Start(std::string command, Started* program) {
    const auto quote = command.find_last_not_of(" \t\"");
    if (quote != std::string::npos && quote >= 3 && _stricmp(command.substr(quote - 3, 4).c_str(), ".bat") == 0)
        command = "cmd.exe /c " + command;
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED | BELOW_NORMAL_PRIORITY_CLASS,
                        nullptr, nullptr, &startup, &info))
        return false;
    program->process.Reset(info.hProcess);
    win::UniqueHandle thread(info.hThread);
    program->job.Reset(CreateJobObjectA(nullptr, nullptr));
    if (program->job) AssignProcessToJobObject(program->job.Get(), info.hProcess);
    SetMemoryPriority(info.hProcess, MEMORY_PRIORITY_LOW);
    program->lowered = true;
    program->startMs = UnixMs();
    ResumeThread(thread.Get());
    return true;
}

// Waits until the program has settled; says how, and the CPU seconds it used meanwhile.
const char* WaitSettled(const Started& program, double* cpu) {
    std::map<DWORD, double> threads;
    *cpu = CpuSince(program, &threads);
    // The bound counts on the clock: taking the threads' times costs time of its own under load.
    for (;;) {
        const double left = program.startMs + kBoundMs - UnixMs();
        if (left <= 0) return "bound";
        const auto window = static_cast<DWORD>(std::min<double>(kWindowMs, left));
        WaitForSingleObject(program.process.Get(), window);
        if (Ended(program)) return "ended";
        const double used = CpuSince(program, &threads);
        *cpu += used;
        if (window == kWindowMs && used < kQuietShare * kWindowMs / 1000.0) return "settled";
    }
}

std::vector<std::string> ReadCommands(const char* path) {
    std::vector<std::string> commands;
    win::UniqueHandle file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return commands;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (text.size() < (1 << 16) && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    std::string line;
    for (const char c : text + "\n") {
        if (c != '\n' && c != '\r') {
            line += c;
        } else if (!line.empty()) {
            commands.push_back(line);
            line.clear();
        }
    }
    return commands;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: logon_stagger LOG COMMANDS\n");
        return 2;
    }
    LineLog log(argv[1]);
    const std::vector<std::string> commands = ReadCommands(argv[2]);
    if (!log.Ok() || commands.empty()) return 1;
    std::vector<Started> programs(commands.size());
    for (size_t i = 0; i < commands.size(); ++i) {
        if (!Start(commands[i], &programs[i])) {
            log.Line("stagger %u failed %.1f\n", static_cast<unsigned>(i + 1), UnixMs());
            continue;
        }
        double cpu = 0;
        const char* how = WaitSettled(programs[i], &cpu);
        log.Line("stagger %u %s %.1f %.2f\n", static_cast<unsigned>(i + 1), how, UnixMs(), cpu);
        for (auto& program : programs)
            if (program.lowered && UnixMs() >= program.startMs + kLowForMs) SetLowered(program, false);
    }
    // Each program's first minute ends in turn; the bench ends this program at its run's end.
    for (auto& program : programs) {
        if (!program.lowered) continue;
        Sleep(static_cast<DWORD>(std::max(0.0, program.startMs + kLowForMs - UnixMs())));
        if (!Ended(program)) SetLowered(program, false);
    }
    return 0;
}
