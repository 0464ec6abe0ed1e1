// The whole machine's load every 500 ms: CPU busy from GetSystemTimes, and disk
// busy as the share of the window the disk spent on I/O, from the io_ticks of
// its line in Linux's /proc/diskstats (read through Wine's Z: drive: Wine has
// no disk counters of its own). Logs "MS CPU% DISK%" until SECONDS have passed.
//   logon_sampler LOG DISK_NAME SECONDS       (DISK_NAME as in /proc/diskstats, e.g. vda)
#include "LogonClock.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

ULONGLONG Ticks(const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; }

// Milliseconds the disk has spent doing I/O since Linux started; -1 when unknown.
double DiskBusyMs(const std::string& disk) {
    win::UniqueHandle file(CreateFileA("Z:\\proc\\diskstats", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return -1;
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (text.size() < (1 << 20) && ReadFile(file.Get(), buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string major, minor, name;
        double value[10] = {};  // reads ... io_ticks, the tenth after the name
        fields >> major >> minor >> name;
        for (double& v : value) fields >> v;
        if (name == disk && fields) return value[9];
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: logon_sampler LOG DISK_NAME SECONDS\n");
        return 2;
    }
    LineLog log(argv[1]);
    const std::string disk = argv[2];
    const double endMs = UnixMs() + 1000.0 * std::atof(argv[3]);
    FILETIME idle, kernel, user;  // kernel time includes idle time
    GetSystemTimes(&idle, &kernel, &user);
    double lastMs = UnixMs(), lastDisk = DiskBusyMs(disk);
    ULONGLONG lastIdle = Ticks(idle), lastAll = Ticks(kernel) + Ticks(user);
    if (!log.Ok() || lastDisk < 0) return 1;
    for (double next = lastMs + 500; next < endMs; next += 500) {
        Sleep(static_cast<DWORD>(std::max(0.0, next - UnixMs())));
        GetSystemTimes(&idle, &kernel, &user);
        const double now = UnixMs(), diskMs = DiskBusyMs(disk);
        const ULONGLONG all = Ticks(kernel) + Ticks(user) - lastAll, idleTicks = Ticks(idle) - lastIdle;
        const double cpu = all ? 100.0 * static_cast<double>(all - idleTicks) / static_cast<double>(all) : 0;
        log.Line("%.1f %.1f %.1f\n", now, cpu, std::min(100.0, 100.0 * (diskMs - lastDisk) / (now - lastMs)));
        lastMs = now;
        lastDisk = diskMs;
        lastIdle = Ticks(idle);
        lastAll += all;
    }
    return 0;
}
