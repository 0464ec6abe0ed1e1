#pragma once
// The start-up picture: a borderless, topmost window without a taskbar entry,
// cut to the pixels of its bitmap that differ from a colour key, faded in and
// out where the system offers window animation, hidden after its display
// time. Made with new; it deletes itself once its window is destroyed.
#include <windows.h>

#include "ui/Window.h"
#include "win/Scoped.h"

class CSplashScreenEx : public ui::Window {
public:
    static constexpr DWORD SPLASH_FADE_IN = 1;
    static constexpr DWORD SPLASH_FADE_OUT = 2;
    static constexpr DWORD SPLASH_SHADOW = 4;
    static constexpr DWORD SPLASH_CENTER_SCREEN = 8;

    static constexpr const wchar_t* kClassName = L"SplashScreenExClass";

    CSplashScreenEx();
    ~CSplashScreenEx() override;

    // Registers the class (once per process) and creates the hidden window,
    // owned by `parent` when that is a window. False when the window could not
    // be made, or when the class exists already and SPLASH_SHADOW is not set.
    bool Create(HWND parent, DWORD displayTime = 2000, DWORD flags = 0);
    // Loads bitmap resource `bitmapId` of the program, places the window and,
    // unless a component is -1, cuts it to the pixels that differ from the key
    // made of the low 8 bits of red, green and blue. False when the bitmap
    // cannot be loaded.
    bool SetPicture(UINT bitmapId, short red, short green, short blue);
    // Places and shows the window and starts its display timer.
    void Display();

    // The region of the pixels of `bitmap` whose colour differs from `key`;
    // null for no bitmap. The caller owns the region.
    HRGN BuildRegion(HBITMAP bitmap, COLORREF key) const;
    void PaintSplash(HDC dc) const;

    // Replaces the entry point looked up at construction (null: no fading).
    using AnimateWindowFn = BOOL(WINAPI*)(HWND, DWORD, DWORD);
    void SetAnimateWindow(AnimateWindowFn animate) { animate_ = animate; }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostNcDestroy() override;

private:

    bool RegisterSplashClass() const;
    void Hide();
    void Dismiss();

    AnimateWindowFn animate_ = nullptr;
    win::UniqueBitmap bitmap_;
    HRGN region_ = nullptr;  // handed to the window, which owns and deletes it
    DWORD flags_ = 0;
    DWORD displayTime_ = 2000;
    int width_ = 0;
    int height_ = 0;
    int x_ = 0;
    int y_ = 0;
};
