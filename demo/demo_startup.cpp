// A harmless start-up program for `make run`: it is put into the Run keys, so the
// demo shows Pacewick taking it over and starting it after the delay. Started, it
// appends "<name> started" to demo-launches.log beside itself and shows a small
// window with its name for a few seconds.
#include <windows.h>

#include <string>

namespace {

constexpr UINT kShowMilliseconds = 8000;
constexpr const char* kClassName = "PacewickDemoStartup";

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

// The text is drawn inside the window too: under Xvfb there is no window
// manager, hence no title bar, in the demo's screenshots.
void Paint(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    char title[512] = {};
    GetWindowTextA(window, title, sizeof(title));
    RECT area;
    GetClientRect(window, &area);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    DrawTextA(dc, title, -1, &area, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    EndPaint(window, &paint);
}

BOOL CALLBACK CountDemoWindows(HWND window, LPARAM count) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof(name));
    if (lstrcmpA(name, kClassName) == 0) ++*reinterpret_cast<int*>(count);
    return TRUE;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        Paint(window);
        return 0;
    }
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
    windowClass.lpszClassName = kClassName;
    RegisterClassA(&windowClass);

    // Each demo program takes the next free place, so that all of them can be seen;
    // they start at the same moment, so they take their places one at a time.
    HANDLE places = CreateMutexA(nullptr, FALSE, "PacewickDemoStartupPlaces");
    WaitForSingleObject(places, 5000);
    int slot = 0;
    EnumWindows(CountDemoWindows, reinterpret_cast<LPARAM>(&slot));
    const std::string title = name + " was started by Pacewick";
    HWND window = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, title.c_str(),
                                  WS_OVERLAPPED | WS_CAPTION | WS_VISIBLE, 660,
                                  60 + (slot % 8) * 100, 420, 80, nullptr, nullptr, instance, nullptr);
    ReleaseMutex(places);
    CloseHandle(places);
    if (!window) return 1;
    SetTimer(window, 1, kShowMilliseconds, nullptr);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return 0;
}
