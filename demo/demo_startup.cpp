// A harmless start-up program for `make run`: it is put into the Run keys, so the
// demo shows Pacewick taking it over and starting it after the delay. Started, it
// appends "<name> started" to demo-launches.log beside itself and shows a small
// window with its name for a few seconds.
#include <windows.h>

#include <string>

namespace {

constexpr UINT kShowMilliseconds = 8000;

std::string OwnFolder() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) return std::string();
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of('\\') + 1);
}

void AppendLine(const std::string& file, const std::string& line) {
    // Several demo programs start at once: retry while another one holds the file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        HANDLE handle = CreateFileA(file.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
            CloseHandle(handle);
            return;
        }
        Sleep(20);
    }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER || message == WM_CLOSE) {
        DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
    const std::string name = (commandLine && *commandLine) ? commandLine : "Demo program";
    AppendLine(OwnFolder() + "demo-launches.log", name + " started\r\n");

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_INFOBK);
    windowClass.lpszClassName = "PacewickDemoStartup";
    RegisterClassA(&windowClass);

    // Each demo program takes its own place by its name, so that all of them can be seen.
    unsigned sum = 0;
    for (unsigned char c : name) sum += c;
    const int slot = static_cast<int>(sum % 5);
    const std::string title = name + " was started by Pacewick";
    HWND window = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, title.c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 40 + slot * 60,
                                  40 + slot * 90, 360, 80, nullptr, nullptr, instance, nullptr);
    if (!window) return 1;
    SetTimer(window, 1, kShowMilliseconds, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
