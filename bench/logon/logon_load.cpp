// A program started at log-on, as heavy as its command line says: CPU seconds
// (counted in CPU time, so that a busy machine stretches it as it would a real
// program), megabytes written and flushed to disk, then either ends or goes on
// at about 5% of one CPU. It logs "NAME start MS" and "NAME end MS" (UnixMs).
//   logon_load LOG NAME CPU_SECONDS MB THREADS STAYS(0|1)
#include "LogonClock.h"

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// Spins for that many milliseconds of wall time (the 5% that goes on).
void BusyMs(double ms) {
    const double until = UnixMs() + ms;
    while (UnixMs() < until) {
    }
}

// Writes MB megabytes (0.3: 300 KB) in 1 MB blocks to a file of its own, flushing every 4 MB
// as a program saving its state does, then deletes the file.
bool WriteAndFlush(const std::string& path, double mb) {
    win::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!file) return false;
    const std::vector<char> block(1 << 20, 'x');
    auto left = static_cast<ULONGLONG>(mb * block.size());
    for (int i = 1; left > 0; ++i) {
        const auto size = static_cast<DWORD>(std::min<ULONGLONG>(left, block.size()));
        DWORD written = 0;
        if (!WriteFile(file.Get(), block.data(), size, &written, nullptr)) return false;
        left -= size;
        if (i % 4 == 0 || left == 0) FlushFileBuffers(file.Get());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: logon_load LOG NAME CPU_SECONDS MB THREADS STAYS\n");
        return 2;
    }
    LineLog log(argv[1]);
    const std::string name = argv[2];
    const double cpu = std::atof(argv[3]);
    const double mb = std::atof(argv[4]);
    const int threads = std::max(1, std::atoi(argv[5]));
    const bool stays = std::atoi(argv[6]) != 0;
    log.Line("%s start %.1f\n", name.c_str(), UnixMs());

    // CPU and disk at once, as a starting program reads, decodes and saves.
    std::vector<std::thread> burners;
    for (int i = 0; i < threads; ++i) burners.emplace_back(BurnCpu, cpu / threads);
    const std::string data = std::string(argv[1]) + "." + name + ".data";
    const bool wrote = mb <= 0 || WriteAndFlush(data, mb);
    for (auto& burner : burners) burner.join();
    log.Line("%s end %.1f%s\n", name.c_str(), UnixMs(), wrote ? "" : " write-failed");

    while (stays) {  // a tray program's polling, until the bench ends it
        BusyMs(5);
        Sleep(95);
    }
    return wrote ? 0 : 1;
}
