#pragma once
#include <windows.h>

#include <vector>

#include "ready/ReadyStart.h"
#include "win/Scoped.h"

namespace ready {

// The machine's load as Windows counts it: the processors' busy share from
// GetSystemTimes, the disks' from their performance counters (idle time
// against the time counted, IOCTL_DISK_PERFORMANCE, which needs no rights).
// A disk without counters (some virtual disks; Wine has none) counts as idle,
// and the processors decide alone. With them, what the person does: the last
// input and the foreground window's process.
class SystemLoad : public LoadSource {
public:
    SystemLoad();
    LoadSample Sample() override;

private:
    struct Disk {
        win::UniqueHandle handle;
        LONGLONG idle = 0, counted = 0;
    };
    static bool ReadDisk(Disk& disk, double* busy);
    static void ReadPerson(LoadSample* sample);

    ULONGLONG idle_ = 0, total_ = 0;
    std::vector<Disk> disks_;
};

}  // namespace ready
