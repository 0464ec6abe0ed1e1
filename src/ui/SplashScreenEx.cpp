#include "ui/SplashScreenEx.h"

#include <vector>

namespace {

constexpr UINT_PTR kDisplayTimer = 0;
constexpr DWORD kFadeInMs = 500;
constexpr DWORD kFadeOutMs = 200;
#ifndef CS_DROPSHADOW
constexpr UINT CS_DROPSHADOW = 0x00020000;
#endif

// Collects the runs of non-key pixels of one row as one-pixel-high rectangles.
void CollectRow(const DWORD* row, int width, int y, DWORD key, std::vector<RECT>& rects) {
    int x = 0;
    while (x < width) {
        while (x < width && row[x] == key) ++x;
        const int left = x;
        while (x < width && row[x] != key) ++x;
        if (x > left) rects.push_back(RECT{left, y, x, y + 1});
    }
}

// The bitmap's pixels, top row first, each as 0x00RRGGBB.
bool ReadPixels(HDC dc, HBITMAP bitmap, int width, int height, std::vector<DWORD>& pixels) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    const int rows = GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info,
                               DIB_RGB_COLORS);
    if (rows != height) return false;
    for (DWORD& pixel : pixels) pixel &= 0x00FFFFFF;
    return true;
}

}  // namespace

CSplashScreenEx::CSplashScreenEx() {
    if (HMODULE user32 = GetModuleHandleW(L"USER32.DLL")) {
        animate_ = reinterpret_cast<AnimateWindowFn>(GetProcAddress(user32, "AnimateWindow"));
    }
}

// The region belongs to the window by now; the bitmap goes with its owner.
CSplashScreenEx::~CSplashScreenEx() = default;

bool CSplashScreenEx::RegisterSplashClass() const {
    WNDCLASSEXW wc{};
    wc.style = CS_SAVEBITS | CS_DBLCLKS;
    if (flags_ & SPLASH_SHADOW) wc.style |= CS_DROPSHADOW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));  // an id, not a text
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kClassName;
    if (RegisterWindowClass(wc)) return true;
    if ((flags_ & SPLASH_SHADOW) == 0) return false;
    // Systems without drop shadows refuse the style; the class may also exist
    // already. Either way the window can still be made.
    wc.style &= ~CS_DROPSHADOW;
    RegisterWindowClass(wc);
    return true;
}

bool CSplashScreenEx::Create(HWND parent, DWORD displayTime, DWORD flags) {
    displayTime_ = displayTime;
    flags_ = flags;
    if (!RegisterSplashClass()) return false;
    return CreateEx(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClassName, nullptr, WS_POPUP, 0, 0, 0, 0,
                    IsWindow(parent) ? parent : nullptr);
}

bool CSplashScreenEx::SetPicture(UINT bitmapId, short red, short green, short blue) {
    bitmap_.Reset(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(LOWORD(bitmapId))));
    if (!bitmap_) return false;

    BITMAP info{};
    GetObjectW(bitmap_.Get(), sizeof(info), &info);
    width_ = info.bmWidth;
    height_ = info.bmHeight;

    if (flags_ & SPLASH_CENTER_SCREEN) {
        x_ = (GetSystemMetrics(SM_CXFULLSCREEN) - width_) / 2;
        y_ = (GetSystemMetrics(SM_CYFULLSCREEN) - height_) / 2;
    }

    if (red == -1 || green == -1 || blue == -1) return true;
    const COLORREF key = RGB(red & 0xFF, green & 0xFF, blue & 0xFF);
    region_ = BuildRegion(bitmap_.Get(), key);
    // The window owns the region once it accepts it; a refused one is ours.
    if (region_ != nullptr && !SetWindowRgn(Hwnd(), region_, TRUE)) {
        DeleteObject(region_);
        region_ = nullptr;
    }
    return true;
}

HRGN CSplashScreenEx::BuildRegion(HBITMAP bitmap, COLORREF key) const {
    if (bitmap == nullptr) return nullptr;
    BITMAP info{};
    if (GetObjectW(bitmap, sizeof(info), &info) == 0) return nullptr;
    const int width = info.bmWidth;
    const int height = info.bmHeight;

    HDC windowDc = GetDC(Hwnd());
    HDC memoryDc = CreateCompatibleDC(windowDc);
    std::vector<DWORD> pixels;
    const bool read = ReadPixels(memoryDc, bitmap, width, height, pixels);
    DeleteDC(memoryDc);
    ReleaseDC(Hwnd(), windowDc);
    if (!read) return nullptr;

    // Pixels come as 0x00RRGGBB, a COLORREF is 0x00BBGGRR.
    const DWORD keyPixel = (GetRValue(key) << 16) | (GetGValue(key) << 8) | GetBValue(key);
    std::vector<RECT> rects;
    rects.reserve(40);
    for (int y = height - 1; y >= 0; --y) {
        CollectRow(&pixels[static_cast<size_t>(y) * static_cast<size_t>(width)], width, y,
                   keyPixel, rects);
    }

    HRGN result = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& r : rects) {
        win::UniqueRegion piece(CreateRectRgn(r.left, r.top, r.right, r.bottom));
        CombineRgn(result, result, piece.Get(), RGN_OR);
    }
    return result;
}

void CSplashScreenEx::Display() {
    SetWindowPos(Hwnd(), nullptr, x_, y_, width_, height_,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
    if ((flags_ & SPLASH_FADE_IN) && animate_ != nullptr) {
        animate_(Hwnd(), kFadeInMs, AW_BLEND);
    } else {
        ShowWindow(Hwnd(), SW_SHOW);
    }
    if (displayTime_ != 0) SetTimer(Hwnd(), kDisplayTimer, displayTime_, nullptr);
}

void CSplashScreenEx::PaintSplash(HDC dc) const {
    HDC memoryDc = CreateCompatibleDC(dc);
    HGDIOBJ previousBitmap = SelectObject(memoryDc, bitmap_.Get());
    BitBlt(dc, 0, 0, width_, height_, memoryDc, 0, 0, SRCCOPY);
    SelectObject(memoryDc, previousBitmap);
    DeleteDC(memoryDc);
}

void CSplashScreenEx::Hide() {
    if ((flags_ & SPLASH_FADE_OUT) && animate_ != nullptr) {
        animate_(Hwnd(), kFadeOutMs, AW_BLEND | AW_HIDE);
    } else {
        ShowWindow(Hwnd(), SW_HIDE);
    }
}

// Ends with DestroyWindow, after which this object is gone.
void CSplashScreenEx::Dismiss() {
    KillTimer(Hwnd(), kDisplayTimer);
    Hide();
    DestroyWindow(Hwnd());
}

LRESULT CSplashScreenEx::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(Hwnd(), &paint);
        PaintSplash(dc);
        EndPaint(Hwnd(), &paint);
        return 0;
    }
    case WM_PRINTCLIENT:
        PaintSplash(reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_TIMER:  // whichever timer: the splash owns only one
        Dismiss();
        return 0;
    default:
        return Window::HandleMessage(message, wParam, lParam);
    }
}

void CSplashScreenEx::PostNcDestroy() { delete this; }
