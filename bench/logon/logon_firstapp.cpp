// The first program the person opens after logging on: a normal top-level
// window brought to the foreground, 1.5 s of CPU work on two threads (counted
// in CPU time, so a busy machine stretches it), then its 40 MB of data read in
// 1 MB blocks (dropped from the page cache before each run, so the disk is
// read). Logs "firstapp ready MS" (UnixMs) once all of it is done, and ends.
//   logon_firstapp LOG DATA_FILE
#include "LogonClock.h"

#include <atomic>
#include <thread>
#include <vector>

namespace {

constexpr double kCpuSecondsPerThread = 0.75;
constexpr DWORD kBlock = 1 << 20;

// Reads the whole file in 1 MB blocks; false when it cannot be read to its end.
bool ReadAll(const char* path) {
    win::UniqueHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                       FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file) return false;
    std::vector<char> block(kBlock);
    DWORD read = 0;
    ULONGLONG total = 0;
    while (ReadFile(file.Get(), block.data(), kBlock, &read, nullptr) && read > 0) total += read;
    LARGE_INTEGER size{};
    return GetFileSizeEx(file.Get(), &size) && total == static_cast<ULONGLONG>(size.QuadPart);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: logon_firstapp LOG DATA_FILE\n");
        return 2;
    }
    LineLog log(argv[1]);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "LogonFirstApp";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("LogonFirstApp", "The first program", WS_OVERLAPPEDWINDOW, 80, 80, 480, 320, nullptr,
                                nullptr, windowClass.hInstance, nullptr);
    if (!window || !log.Ok()) return 1;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);

    // The work runs on two threads while this one answers its window, as a
    // program that stays responsive while it loads.
    std::vector<std::thread> workers;
    for (int i = 0; i < 2; ++i) workers.emplace_back(BurnCpu, kCpuSecondsPerThread);
    std::atomic<bool> working{true};
    std::thread waiter([&] {
        for (auto& worker : workers) worker.join();
        working = false;
        PostMessageA(window, WM_NULL, 0, 0);
    });
    MSG message;
    while (working && GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    waiter.join();
    const bool read = ReadAll(argv[2]);
    log.Line("firstapp ready %.1f%s\n", UnixMs(), read ? "" : " read-failed");
    DestroyWindow(window);
    return read ? 0 : 1;
}
