// The splash window under a real window system: its shape, its timer and its
// self-deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "ui/SplashScreenEx.h"
#include "win/Scoped.h"

namespace {

constexpr UINT kSplashBitmap = 139;
constexpr COLORREF kMagenta = RGB(255, 0, 255);
using Colours = std::function<COLORREF(int x, int y)>;

class CountingSplash : public CSplashScreenEx {
public:
    static int deleted;
    ~CountingSplash() override { ++deleted; }
};
int CountingSplash::deleted = 0;

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (MSG msg; !done(); Sleep(5)) {
        if (GetTickCount() - start > timeoutMs) return false;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    }
    return true;
}

// A 24-bit top-down DIB section painted by `colour`.
win::UniqueBitmap MakeBitmap(int width, int height, const Colours& colour) {
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(info.bmiHeader), width, -height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    win::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    for (int y = 0; bitmap && y < height; ++y) {
        BYTE* pixel = static_cast<BYTE*>(bits) + static_cast<size_t>(y) * ((width * 3 + 3) & ~3);
        for (int x = 0; x < width; ++x, pixel += 3) {
            const COLORREF c = colour(x, y);
            pixel[0] = GetBValue(c), pixel[1] = GetGValue(c), pixel[2] = GetRValue(c);
        }
    }
    return bitmap;
}

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override { CountingSplash::deleted = 0; }
    void TearDown() override {
        if (IsWindow(hwnd_)) DestroyWindow(hwnd_);  // the splash deletes itself
    }
    // A created splash showing the shipped picture; SPLASH_SHADOW lets a
    // second one be made once the class exists.
    CountingSplash* Make(DWORD displayTime, short red = 255, short green = 0, short blue = 255,
                         DWORD flags = CSplashScreenEx::SPLASH_SHADOW) {
        auto* splash = new CountingSplash;
        if (!splash->Create(nullptr, nullptr, displayTime, flags)) {
            delete splash;
            return nullptr;
        }
        hwnd_ = splash->Hwnd();
        EXPECT_TRUE(splash->SetPicture(kSplashBitmap, red, green, blue));
        return splash;
    }
    bool Gone() const { return !IsWindow(hwnd_) && CountingSplash::deleted == 1; }

    HWND hwnd_ = nullptr;
};

TEST_F(SplashTest, RegionHoldsExactlyThePixelsThatDifferFromTheKey) {
    const CSplashScreenEx splash;
    // Key runs at row starts and ends, a whole key row and column, single
    // pixels, and colours one step from the key.
    const auto pattern = [](COLORREF key) -> Colours {
        return [key](int x, int y) {
            if (y == 5 || x == 11 || (x * 7 + y * 3) % 5 == 0 || (x == 0 && y % 2 == 0) || (x == 36 && y % 3 == 0))
                return key;
            if ((x + y) % 4 == 1) return RGB(254, 0, 255);
            return (x + y) % 2 ? RGB(x * 6, y * 10, 128) : RGB(255, 1, 255);
        };
    };
    for (COLORREF key : {kMagenta, RGB(10, 20, 30)}) {
        const Colours colour = pattern(key);
        win::UniqueBitmap bitmap = MakeBitmap(37, 23, colour);
        ASSERT_TRUE(bitmap);
        win::UniqueRegion region(splash.BuildRegion(bitmap.Get(), key));
        ASSERT_TRUE(region);
        int mismatches = 0;
        for (int y = -1; y <= 23; ++y) {
            for (int x = -1; x <= 37; ++x) {
                const bool inside = x >= 0 && y >= 0 && x < 37 && y < 23 && colour(x, y) != key;
                mismatches += (PtInRegion(region.Get(), x, y) != FALSE) != inside;
            }
        }
        EXPECT_EQ(mismatches, 0) << "key " << std::hex << key;
    }
    win::UniqueBitmap allKey = MakeBitmap(8, 8, [](int, int) { return kMagenta; });
    win::UniqueRegion empty(splash.BuildRegion(allKey.Get(), kMagenta));
    RECT box{};
    EXPECT_EQ(GetRgnBox(empty.Get(), &box), NULLREGION);
    EXPECT_EQ(splash.BuildRegion(nullptr, kMagenta), nullptr);

    win::UniqueBitmap shipped(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kSplashBitmap)));
    ASSERT_TRUE(shipped) << "bitmap 139 is linked into the program";
    win::UniqueRegion region(splash.BuildRegion(shipped.Get(), kMagenta));
    win::UniqueRegion full(CreateRectRgn(0, 0, 500, 300));
    EXPECT_TRUE(EqualRgn(region.Get(), full.Get()));
}

// Wine's AnimateWindow returns at once without fading, so the fades are seen
// through the calls the splash makes to it.
std::vector<std::pair<DWORD, DWORD>> fades;
BOOL WINAPI RecordFade(HWND window, DWORD milliseconds, DWORD flags) {
    fades.emplace_back(milliseconds, flags);
    return ShowWindow(window, (flags & AW_HIDE) ? SW_HIDE : SW_SHOW);
}

// The shipped picture cuts the window by its key unless a key component is -1;
// without a display time no timer runs and any timer message dismisses it,
// fading out over a fifth of a second after fading in over half a second.
TEST_F(SplashTest, ShapedByItsKeyFadedAndDismissedByItsTimerOnly) {
    win::UniqueRegion probe(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(Make(0, -1), nullptr);
    EXPECT_EQ(GetWindowRgn(hwnd_, probe.Get()), ERROR) << "a -1 key cuts the window";
    DestroyWindow(hwnd_);
    ASSERT_TRUE(Gone());

    CountingSplash::deleted = 0;
    const DWORD fading = CSplashScreenEx::SPLASH_FADE_IN | CSplashScreenEx::SPLASH_FADE_OUT;
    CountingSplash* splash = Make(0, 255, 0, 255, fading | CSplashScreenEx::SPLASH_SHADOW);
    ASSERT_NE(splash, nullptr);
    EXPECT_NE(GetWindowRgn(hwnd_, probe.Get()), ERROR) << "the key does not cut the window";
    fades.clear();
    splash->SetAnimateWindow(RecordFade);
    splash->Display();
    EXPECT_FALSE(PumpUntil([&] { return Gone(); }, 300));
    EXPECT_FALSE(KillTimer(hwnd_, 0)) << "a timer was started";
    EXPECT_TRUE(IsWindowVisible(hwnd_));
    SendMessageA(hwnd_, WM_TIMER, 77, 0);
    EXPECT_TRUE(Gone());
    const std::vector<std::pair<DWORD, DWORD>> expected = {{500, AW_BLEND}, {200, AW_BLEND | AW_HIDE}};
    EXPECT_EQ(expected, fades);
}

TEST_F(SplashTest, DeletesItselfAfterItsDisplayTime) {
    CountingSplash* splash = Make(150);
    ASSERT_NE(splash, nullptr);
    const DWORD start = GetTickCount();
    splash->Display();
    EXPECT_TRUE(IsWindowVisible(hwnd_));
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }, 5000));
    EXPECT_GE(GetTickCount() - start, 140u);
}

}  // namespace
