#include "ready/SystemLoad.h"

#include <winioctl.h>

#include <algorithm>
#include <string>
#include <utility>

namespace ready {
namespace {

constexpr int kDisksTried = 16;

ULONGLONG Ticks(const FILETIME& time) { return (ULONGLONG{time.dwHighDateTime} << 32) | time.dwLowDateTime; }

bool ReadProcessors(ULONGLONG* idle, ULONGLONG* total) {
    FILETIME idleTime, kernelTime, userTime;
    if (!GetSystemTimes(&idleTime, &kernelTime, &userTime)) return false;
    *idle = Ticks(idleTime);
    *total = Ticks(kernelTime) + Ticks(userTime);  // kernel time includes the idle time
    return true;
}

// The busy share of an interval from the differences of an idle counter and
// of the time counted, within 0 and 1; no time counted, no load seen.
double BusyShare(LONGLONG idle, LONGLONG counted) {
    if (counted <= 0) return 0;
    return std::min(1.0, std::max(0.0, 1.0 - static_cast<double>(idle) / static_cast<double>(counted)));
}

}  // namespace

SystemLoad::SystemLoad() {
    ReadProcessors(&idle_, &total_);
    for (int number = 0; number < kDisksTried; ++number) {
        const std::wstring path = L"\\\\.\\PhysicalDrive" + std::to_wstring(number);
        Disk disk;
        disk.handle.Reset(CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                      nullptr));
        double busy = 0;
        if (disk.handle && ReadDisk(disk, &busy)) disks_.push_back(std::move(disk));
    }
}

bool SystemLoad::ReadDisk(Disk& disk, double* busy) {
    DISK_PERFORMANCE counters{};
    DWORD returned = 0;
    if (!DeviceIoControl(disk.handle.Get(), IOCTL_DISK_PERFORMANCE, nullptr, 0, &counters, sizeof counters, &returned,
                         nullptr) ||
        returned < sizeof counters)
        return false;
    const LONGLONG idle = counters.IdleTime.QuadPart, counted = counters.QueryTime.QuadPart;
    *busy = BusyShare(idle - disk.idle, counted - disk.counted);
    disk.idle = idle;
    disk.counted = counted;
    return true;
}

void SystemLoad::ReadPerson(LoadSample* sample) {
    LASTINPUTINFO input{};
    input.cbSize = sizeof input;
    if (GetLastInputInfo(&input)) sample->sinceInputMs = GetTickCount() - input.dwTime;  // wraps as the ticks do
    DWORD foreground = 0;
    if (const HWND window = GetForegroundWindow()) GetWindowThreadProcessId(window, &foreground);
    sample->foreground = foreground == GetCurrentProcessId() ? 0 : foreground;
}

LoadSample SystemLoad::Sample() {
    LoadSample sample;
    ReadPerson(&sample);
    ULONGLONG idle = 0, total = 0;
    if (ReadProcessors(&idle, &total)) {
        sample.cpu = BusyShare(static_cast<LONGLONG>(idle - idle_), static_cast<LONGLONG>(total - total_));
        idle_ = idle;
        total_ = total;
    }
    for (Disk& disk : disks_) {
        double busy = 0;
        if (ReadDisk(disk, &busy)) sample.disk = std::max(sample.disk, busy);
    }
    return sample;
}

}  // namespace ready
