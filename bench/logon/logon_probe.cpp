// The user's foreground program during the log-on: a window at normal priority
// whose 16 ms timer does 2 ms of work and a PostMessage round trip to itself.
// Each round trip's end logs "MS LATENESS_MS": how much later than 16 ms after
// the previous one it came. Ends by itself after SECONDS.
//   logon_probe LOG SECONDS
#include "LogonClock.h"

#include <cstdlib>

namespace {

constexpr UINT kTickMs = 16;
constexpr UINT kRoundTrip = WM_APP + 1;

struct Probe {
    LineLog* log;
    double endMs;
    double lastMs = 0;
};

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* probe = reinterpret_cast<Probe*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_TIMER && probe) {
        const double workUntil = UnixMs() + 2;  // the program's own work of a frame
        while (UnixMs() < workUntil) {
        }
        PostMessageA(window, kRoundTrip, 0, 0);
        return 0;
    }
    if (message == kRoundTrip && probe) {
        const double now = UnixMs();
        if (probe->lastMs > 0) probe->log->Line("%.1f %.2f\n", now, std::max(0.0, now - probe->lastMs - kTickMs));
        probe->lastMs = now;
        if (now >= probe->endMs) PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: logon_probe LOG SECONDS\n");
        return 2;
    }
    LineLog log(argv[1]);
    Probe probe{&log, UnixMs() + 1000.0 * std::atof(argv[2])};
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ProbeProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "LogonProbe";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("LogonProbe", "Log-on probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 320, 200,
                                nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window || !log.Ok()) return 1;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&probe));
    SetForegroundWindow(window);
    SetTimer(window, 1, kTickMs, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
