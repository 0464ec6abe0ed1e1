#pragma once
// A thin base for the program's own top-level windows: the window procedure
// finds the object through GWLP_USERDATA and hands it every message.
#include <windows.h>

namespace ui {

class Window {
public:
    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    virtual ~Window();

    HWND Hwnd() const { return hwnd_; }

    // The procedure to name in a window class whose windows are Window objects.
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    // Registers a class that uses WindowProc. Fills cbSize, lpfnWndProc and,
    // when missing, hInstance. False when RegisterClassExW fails (for example
    // because the class exists already).
    static bool RegisterWindowClass(WNDCLASSEXW wc);

protected:
    // Creates the window with this object behind it. False when it fails.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                  int y, int width, int height, HWND owner);

    // Every message of the window from WM_NCCREATE to WM_NCDESTROY; the
    // default is DefWindowProcW.
    virtual LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Called after the window is gone (Hwnd() is null and no message will
    // reach the object any more); a heap object may delete itself here.
    virtual void PostNcDestroy() {}

private:
    HWND hwnd_ = nullptr;
};

}  // namespace ui
