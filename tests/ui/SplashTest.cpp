// The splash window under a real window system: its shape, its fades, its
// timer and its self-deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "ui/SplashScreenEx.h"
#include "win/Scoped.h"

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);

TEST(Splash, RegionHoldsExactlyThePixelsThatDifferFromTheKey) {
    const CSplashScreenEx splash;
    constexpr int kWidth = 37, kHeight = 23;
    for (COLORREF key : {kMagenta, RGB(10, 20, 30)}) {
        // Key runs at row starts and ends, a whole key row and column, single
        // pixels, and colours one step from the key.
        const auto colour = [key](int x, int y) {
            if (y == 5 || x == 11 || (x * 7 + y * 3) % 5 == 0 || (x == 0 && y % 2 == 0) || (x == 36 && y % 3 == 0))
                return key;
            if ((x + y) % 4 == 1) return RGB(254, 0, 255);
            return (x + y) % 2 ? RGB(x * 6, y * 10, 128) : RGB(255, 1, 255);
        };
        BITMAPINFO info{};  // 24-bit, top-down
        info.bmiHeader = {sizeof(info.bmiHeader), kWidth, -kHeight, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        win::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        ASSERT_TRUE(bitmap);
        for (int y = 0; y < kHeight; ++y) {
            BYTE* pixel = static_cast<BYTE*>(bits) + static_cast<size_t>(y) * ((kWidth * 3 + 3) & ~3);
            for (int x = 0; x < kWidth; ++x, pixel += 3) {
                const COLORREF c = colour(x, y);
                pixel[0] = GetBValue(c), pixel[1] = GetGValue(c), pixel[2] = GetRValue(c);
            }
        }
        win::UniqueRegion region(splash.BuildRegion(bitmap.Get(), key));
        ASSERT_TRUE(region);
        int mismatches = 0;
        for (int y = -1; y <= kHeight; ++y)
            for (int x = -1; x <= kWidth; ++x) {
                const bool inside = x >= 0 && y >= 0 && x < kWidth && y < kHeight && colour(x, y) != key;
                mismatches += (PtInRegion(region.Get(), x, y) != FALSE) != inside;
            }
        EXPECT_EQ(mismatches, 0) << "key " << std::hex << key;
    }
    EXPECT_EQ(splash.BuildRegion(nullptr, kMagenta), nullptr);
}

int deleted = 0;
class CountingSplash : public CSplashScreenEx {
public:
    ~CountingSplash() override { ++deleted; }
};

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (MSG msg; !done(); Sleep(5)) {
        if (GetTickCount() - start > timeoutMs) return false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return true;
}

// Wine's AnimateWindow returns at once without fading, so the fades are seen
// through the calls the splash makes to it.
std::vector<std::pair<DWORD, DWORD>> fades;
BOOL WINAPI RecordFade(HWND window, DWORD milliseconds, DWORD flags) {
    fades.emplace_back(milliseconds, flags);
    return ShowWindow(window, (flags & AW_HIDE) ? SW_HIDE : SW_SHOW);
}

// The shipped picture cuts the window by its key unless a key component is -1.
// With a display time it goes after that time; without, no timer runs and any
// timer message dismisses it, fading out over a fifth of a second after fading
// in over half a second. Gone, it has deleted itself, once.
TEST(Splash, ShapedByItsKeyFadedAndDismissedByItsTimer) {
    const DWORD fading = CSplashScreenEx::SPLASH_FADE_IN | CSplashScreenEx::SPLASH_FADE_OUT,
                shadow = CSplashScreenEx::SPLASH_SHADOW;
    for (const short red : {-1, 255}) {
        deleted = 0;
        fades.clear();
        const DWORD displayTime = red == -1 ? 150 : 0;
        // SPLASH_SHADOW lets a second one be made once the class exists.
        auto* splash = new CountingSplash;
        ASSERT_TRUE(splash->Create(nullptr, nullptr, displayTime, shadow | (displayTime ? 0 : fading)));
        const HWND window = splash->Hwnd();
        const auto gone = [&] { return !IsWindow(window) && deleted == 1; };
        EXPECT_TRUE(splash->SetPicture(139, red, 0, 255));
        win::UniqueRegion probe(CreateRectRgn(0, 0, 0, 0));
        EXPECT_EQ(GetWindowRgn(window, probe.Get()) != ERROR, red != -1) << "key red " << red;
        splash->SetAnimateWindow(RecordFade);
        const DWORD start = GetTickCount();
        splash->Display();
        EXPECT_TRUE(IsWindowVisible(window));
        if (displayTime) {
            ASSERT_TRUE(PumpUntil(gone, 5000));
            EXPECT_GE(GetTickCount() - start, 140u);
            continue;
        }
        EXPECT_FALSE(PumpUntil(gone, 300));
        EXPECT_FALSE(KillTimer(window, 0)) << "a timer was started";
        SendMessageA(window, WM_TIMER, 77, 0);
        EXPECT_TRUE(gone());
        EXPECT_EQ((std::vector<std::pair<DWORD, DWORD>>{{500, AW_BLEND}, {200, AW_BLEND | AW_HIDE}}), fades);
    }
}

}  // namespace
