// The splash window under a real window system: shape, place, timer,
// dismissal and self-deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

#include "ui/SplashScreenEx.h"
#include "win/Scoped.h"

namespace {

constexpr UINT kSplashBitmap = 139;
constexpr COLORREF kMagenta = RGB(255, 0, 255);
using Splash = CSplashScreenEx;

// Counts deletions, which the splash does itself.
class CountingSplash : public CSplashScreenEx {
public:
    static int deleted;
    ~CountingSplash() override { ++deleted; }
};
int CountingSplash::deleted = 0;

// Pumps messages until `done` holds or `timeoutMs` passes.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs) return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
    return true;
}

// A 24-bit bottom-up DIB section whose pixel colours come from `colour`.
win::UniqueBitmap MakeBitmap(int width, int height, const std::function<COLORREF(int, int)>& colour) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    win::UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap) return bitmap;
    const int stride = (width * 3 + 3) & ~3;
    for (int y = 0; y < height; ++y) {
        auto* row = static_cast<BYTE*>(bits) + static_cast<size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const COLORREF c = colour(x, y);
            row[x * 3] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    return bitmap;
}

class SplashTest : public ::testing::Test {
protected:
    void SetUp() override { CountingSplash::deleted = 0; }
    void TearDown() override {
        // A splash a test left alive goes now; it deletes itself.
        if (splash_ != nullptr && IsWindow(hwnd_)) DestroyWindow(hwnd_);
        if (parent_ != nullptr) DestroyWindow(parent_);
    }

    // A created splash; SPLASH_SHADOW lets it be made after the class exists.
    CountingSplash* Make(DWORD flags, DWORD displayTime = 0, HWND parent = nullptr,
                         const char* text = nullptr) {
        splash_ = new CountingSplash;
        if (!splash_->Create(parent, text, displayTime, flags | Splash::SPLASH_SHADOW)) {
            delete splash_;
            splash_ = nullptr;
            return nullptr;
        }
        hwnd_ = splash_->Hwnd();
        return splash_;
    }

    HWND MakeParent(int x, int y, int width, int height) {
        parent_ = CreateWindowExA(0, "STATIC", "owner", WS_POPUP, x, y, width, height, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        return parent_;
    }

    bool Gone() const { return !IsWindow(hwnd_) && CountingSplash::deleted == 1; }

    CountingSplash* splash_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND parent_ = nullptr;
};

// Every pixel lies in the region exactly when its colour differs from the key.
void ExpectRegionIsNonKeyPixels(HRGN region, int width, int height,
                                const std::function<COLORREF(int, int)>& colour, COLORREF key) {
    int mismatches = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            if ((PtInRegion(region, x, y) != FALSE) != (colour(x, y) != key)) ++mismatches;
        }
    }
    EXPECT_EQ(mismatches, 0);
    RECT box{};
    GetRgnBox(region, &box);
    EXPECT_GE(box.left, 0);
    EXPECT_GE(box.top, 0);
    EXPECT_LE(box.right, width);
    EXPECT_LE(box.bottom, height);
}

TEST_F(SplashTest, RegionHoldsExactlyThePixelsThatDifferFromTheKey) {
    ASSERT_NE(Make(0), nullptr);
    const int width = 37, height = 23;
    const COLORREF other = RGB(10, 20, 30);
    // Key runs at row starts and ends, a whole key row and column, single
    // pixels, and colours one step from the key.
    const auto pattern = [&](COLORREF key) {
        return [key](int x, int y) -> COLORREF {
            if (y == 5 || x == 11) return key;
            if ((x * 7 + y * 3) % 5 == 0) return key;
            if (x == 0 && y % 2 == 0) return key;
            if (x == 36 && y % 3 == 0) return key;
            if ((x + y) % 4 == 1) return RGB(254, 0, 255);
            return (x + y) % 2 ? RGB(x * 6, y * 10, 128) : RGB(255, 1, 255);
        };
    };
    for (COLORREF key : {kMagenta, other}) {
        SCOPED_TRACE(key);
        const auto colour = pattern(key);
        win::UniqueBitmap bitmap = MakeBitmap(width, height, colour);
        ASSERT_TRUE(bitmap);
        win::UniqueRegion region(splash_->BuildRegion(bitmap.Get(), key));
        ASSERT_TRUE(region);
        ExpectRegionIsNonKeyPixels(region.Get(), width, height, colour, key);
    }

    // All key: an empty region; no bitmap: no region.
    win::UniqueBitmap allKey = MakeBitmap(8, 8, [](int, int) { return kMagenta; });
    win::UniqueRegion empty(splash_->BuildRegion(allKey.Get(), kMagenta));
    RECT box{};
    EXPECT_EQ(GetRgnBox(empty.Get(), &box), NULLREGION);
    EXPECT_EQ(splash_->BuildRegion(nullptr, kMagenta), nullptr);
}

TEST_F(SplashTest, ShippedPictureIs500By300At24BitsWithAFullRegion) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(kSplashBitmap), MAKEINTRESOURCEA(2));
    ASSERT_NE(resource, nullptr) << "bitmap 139 is linked into the program";
    auto* header = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, resource)));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->biWidth, 500);
    EXPECT_EQ(header->biHeight, 300);
    EXPECT_EQ(header->biBitCount, 24);

    ASSERT_NE(Make(0), nullptr);
    win::UniqueBitmap bitmap(LoadBitmapA(module, MAKEINTRESOURCEA(kSplashBitmap)));
    ASSERT_TRUE(bitmap);
    const DWORD start = GetTickCount();
    win::UniqueRegion region(splash_->BuildRegion(bitmap.Get(), kMagenta));
    const DWORD took = GetTickCount() - start;
    win::UniqueRegion full(CreateRectRgn(0, 0, 500, 300));
    EXPECT_TRUE(EqualRgn(region.Get(), full.Get()));
    EXPECT_LT(took, 2000u);
    std::printf("region of the 500x300 picture built in %lu ms\n", static_cast<unsigned long>(took));
}

TEST_F(SplashTest, ColourKeyUsesLowEightBitsAndMinusOneMeansNoRegion) {
    // No key: the window keeps its full rectangle (no window region at all).
    ASSERT_NE(Make(0), nullptr);
    ASSERT_TRUE(splash_->SetPicture(kSplashBitmap, -1, 0, 255));
    win::UniqueRegion probe(CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(GetWindowRgn(hwnd_, probe.Get()), ERROR);
    DestroyWindow(hwnd_);
    ASSERT_TRUE(Gone());

    // The key is the colour of the picture's top-left pixel, given with bits
    // above the low eight: that pixel must be cut away.
    win::UniqueBitmap bitmap(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kSplashBitmap)));
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap.Get());
    const COLORREF corner = GetPixel(dc, 0, 0);
    SelectObject(dc, previous);
    DeleteDC(dc);

    CountingSplash::deleted = 0;
    ASSERT_NE(Make(0), nullptr);
    ASSERT_TRUE(splash_->SetPicture(0x10000 | kSplashBitmap, static_cast<short>(0x100 | GetRValue(corner)),
                                    static_cast<short>(0x200 | GetGValue(corner)),
                                    static_cast<short>(0x300 | GetBValue(corner))));
    ASSERT_NE(GetWindowRgn(hwnd_, probe.Get()), ERROR);
    EXPECT_FALSE(PtInRegion(probe.Get(), 0, 0));
    win::UniqueRegion expected(splash_->BuildRegion(bitmap.Get(), corner));
    EXPECT_TRUE(EqualRgn(probe.Get(), expected.Get()));

    // A bitmap that does not exist: FALSE, and no place or size changes.
    EXPECT_FALSE(splash_->SetPicture(4321, 255, 0, 255));
}

TEST_F(SplashTest, WindowIsATopmostToolPopupOwnedByItsParent) {
    HWND parent = MakeParent(0, 0, 100, 100);
    ASSERT_NE(Make(0, 0, parent), nullptr);
    EXPECT_EQ(GetWindow(hwnd_, GW_OWNER), parent);
    const LONG exStyle = GetWindowLongA(hwnd_, GWL_EXSTYLE);
    EXPECT_EQ(exStyle & (WS_EX_TOPMOST | WS_EX_TOOLWINDOW), WS_EX_TOPMOST | WS_EX_TOOLWINDOW);
    EXPECT_NE(GetWindowLongA(hwnd_, GWL_STYLE) & WS_POPUP, 0);
    EXPECT_FALSE(IsWindowVisible(hwnd_));
    EXPECT_TRUE(splash_->CanAnimate()) << "AnimateWindow is found in user32";
    char name[64] = {};
    GetClassNameA(hwnd_, name, sizeof(name));
    EXPECT_STREQ(name, "SplashScreenExClass");
    EXPECT_EQ(GetClassLongA(hwnd_, GCL_STYLE) & (CS_SAVEBITS | CS_DBLCLKS), CS_SAVEBITS | CS_DBLCLKS);
}

TEST_F(SplashTest, SecondCreateNeedsTheShadowFlag) {
    ASSERT_NE(Make(0), nullptr);  // the class exists from here on
    auto* plain = new CountingSplash;
    EXPECT_FALSE(plain->Create(nullptr, nullptr, 0, 0));
    EXPECT_EQ(plain->Hwnd(), nullptr);
    delete plain;  // no window, so it cannot delete itself
    auto* shadowed = new CountingSplash;
    ASSERT_TRUE(shadowed->Create(nullptr, nullptr, 0, Splash::SPLASH_SHADOW));
    DestroyWindow(shadowed->Hwnd());
    EXPECT_EQ(CountingSplash::deleted, 2);
}

TEST_F(SplashTest, DisplayPlacesAndCentresTheWindow) {
    const int cx = GetSystemMetrics(SM_CXFULLSCREEN), cy = GetSystemMetrics(SM_CYFULLSCREEN);
    HWND parent = MakeParent(100, 50, 601, 600);
    struct Case {
        DWORD flags;
        int x, y;
    };
    const Case cases[] = {
        {0, 0, 0},
        {Splash::SPLASH_CENTER_SCREEN, (cx - 500) / 2, (cy - 300) / 2},
        {Splash::SPLASH_CENTER_PARENT, 100 + (601 - 500) / 2, 50 + (600 - 300) / 2},
        {Splash::SPLASH_CENTER_SCREEN | Splash::SPLASH_CENTER_PARENT, (cx - 500) / 2, (cy - 300) / 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        CountingSplash::deleted = 0;
        ASSERT_NE(Make(c.flags, 0, parent), nullptr);
        ASSERT_TRUE(splash_->SetPicture(kSplashBitmap, 255, 0, 255));
        EXPECT_EQ(splash_->Position().x, c.x);
        EXPECT_EQ(splash_->Position().y, c.y);
        splash_->Display();
        RECT rect{};
        GetWindowRect(hwnd_, &rect);
        EXPECT_EQ(rect.left, c.x);
        EXPECT_EQ(rect.top, c.y);
        EXPECT_EQ(rect.right - rect.left, 500);
        EXPECT_EQ(rect.bottom - rect.top, 300);
        EXPECT_TRUE(IsWindowVisible(hwnd_));
        DestroyWindow(hwnd_);
        EXPECT_TRUE(Gone());
    }
}

TEST_F(SplashTest, DeletesItselfAfterItsDisplayTime) {
    ASSERT_NE(Make(Splash::SPLASH_FADE_IN | Splash::SPLASH_FADE_OUT | Splash::SPLASH_CENTER_SCREEN, 150),
              nullptr);
    ASSERT_TRUE(splash_->SetPicture(kSplashBitmap, 255, 0, 255));
    const DWORD start = GetTickCount();
    splash_->Display();
    EXPECT_TRUE(IsWindowVisible(hwnd_));
    ASSERT_TRUE(PumpUntil([&] { return Gone(); }, 5000));
    const DWORD took = GetTickCount() - start;
    EXPECT_GE(took, 140u);
    std::printf("splash with 150 ms display time gone after %lu ms (fading %s)\n",
                static_cast<unsigned long>(took), splash_->CanAnimate() ? "available" : "unavailable");
    splash_ = nullptr;
}

TEST_F(SplashTest, NoDisplayTimeMeansNoTimerButAnyTimerMessageDismisses) {
    ASSERT_NE(Make(0, 0), nullptr);
    ASSERT_TRUE(splash_->SetPicture(kSplashBitmap, 255, 0, 255));
    splash_->Display();
    EXPECT_FALSE(PumpUntil([&] { return Gone(); }, 300));
    EXPECT_FALSE(KillTimer(hwnd_, 0)) << "no timer was started";
    EXPECT_TRUE(IsWindowVisible(hwnd_));

    SendMessageA(hwnd_, WM_TIMER, 77, 0);
    EXPECT_TRUE(Gone());
    splash_ = nullptr;
}

TEST_F(SplashTest, InputDismissesOnlyWithTheHideOnInputFlag) {
    const UINT inputs[] = {WM_KEYDOWN,      WM_SYSKEYDOWN,   WM_LBUTTONDOWN,  WM_RBUTTONDOWN,
                           WM_MBUTTONDOWN,  WM_NCLBUTTONDOWN, WM_NCRBUTTONDOWN, WM_NCMBUTTONDOWN};
    ASSERT_NE(Make(0, 0), nullptr);
    for (UINT input : inputs) SendMessageA(hwnd_, input, 0, 0);
    SendMessageA(hwnd_, WM_MOUSEMOVE, 0, 0);
    EXPECT_TRUE(IsWindow(hwnd_));
    DestroyWindow(hwnd_);
    ASSERT_TRUE(Gone());

    for (UINT input : inputs) {
        SCOPED_TRACE(input);
        CountingSplash::deleted = 0;
        ASSERT_NE(Make(Splash::SPLASH_HIDE_ON_INPUT, 0), nullptr);
        SendMessageA(hwnd_, WM_MOUSEMOVE, 0, 0);
        SendMessageA(hwnd_, WM_KEYUP, 0, 0);
        EXPECT_TRUE(IsWindow(hwnd_));
        SendMessageA(hwnd_, input, 0, 0);
        EXPECT_TRUE(Gone());
    }
    splash_ = nullptr;
}

TEST_F(SplashTest, PaintsThePictureAndTheTextOverIt) {
    ASSERT_NE(Make(0, 0, nullptr, "WWWWWWWWWW"), nullptr);
    ASSERT_TRUE(splash_->SetPicture(kSplashBitmap, 255, 0, 255));
    win::UniqueBitmap picture(LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(kSplashBitmap)));
    win::UniqueBitmap canvas = MakeBitmap(500, 300, [](int, int) { return RGB(0, 255, 0); });

    HDC pictureDc = CreateCompatibleDC(nullptr);
    HDC canvasDc = CreateCompatibleDC(nullptr);
    HGDIOBJ oldPicture = SelectObject(pictureDc, picture.Get());
    HGDIOBJ oldCanvas = SelectObject(canvasDc, canvas.Get());
    EXPECT_EQ(SendMessageA(hwnd_, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(canvasDc), PRF_CLIENT), 1);
    EXPECT_EQ(SendMessageA(hwnd_, WM_ERASEBKGND, reinterpret_cast<WPARAM>(canvasDc), 0), TRUE);

    int differing = 0, blackText = 0;
    for (int y = 0; y < 300; y += 2) {
        for (int x = 0; x < 500; x += 2) {
            const COLORREF painted = GetPixel(canvasDc, x, y);
            if (painted != GetPixel(pictureDc, x, y)) {
                ++differing;
                if (painted == RGB(0, 0, 0)) ++blackText;
                // Centred across the top line (DT_VCENTER needs a single
                // line, which the format does not ask for).
                EXPECT_TRUE(y < 40 && x > 100 && x < 400) << x << "," << y;
            }
        }
    }
    EXPECT_GT(blackText, 0) << "the text is drawn in black over the picture";
    EXPECT_LT(differing, 500 * 300 / 4 / 4);
    SelectObject(pictureDc, oldPicture);
    SelectObject(canvasDc, oldCanvas);
    DeleteDC(pictureDc);
    DeleteDC(canvasDc);
}

struct AnimateCall {
    HWND hwnd;
    DWORD time, flags;
    bool visibleBefore;
};
std::vector<AnimateCall> animateCalls;

// Stands in for the system's animation: records the call and shows or hides
// at once, as the animation ends.
BOOL WINAPI RecordAnimate(HWND hwnd, DWORD time, DWORD flags) {
    animateCalls.push_back({hwnd, time, flags, IsWindowVisible(hwnd) != FALSE});
    ShowWindow(hwnd, (flags & AW_HIDE) ? SW_HIDE : SW_SHOWNA);
    return TRUE;
}

// Watches the splash from outside: was it visible when it was destroyed?
bool visibleAtDestroy = false;
LRESULT CALLBACK WatchDestroy(int code, WPARAM wParam, LPARAM lParam) {
    auto* info = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && info->message == WM_DESTROY) visibleAtDestroy = IsWindowVisible(info->hwnd) != FALSE;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(SplashTest, FadesInOverHalfASecondAndOutOverAFifthOnlyWhenAsked) {
    // Fading is asked of the animation entry point; the window is hidden
    // before it is destroyed, faded or not.
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, &WatchDestroy, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    struct Case {
        DWORD flags;
        bool animate;
        std::vector<std::pair<DWORD, DWORD>> expected;  // time, flags
    };
    const Case cases[] = {
        {Splash::SPLASH_FADE_IN | Splash::SPLASH_FADE_OUT, true, {{500, AW_BLEND}, {200, AW_BLEND | AW_HIDE}}},
        {Splash::SPLASH_FADE_IN, true, {{500, AW_BLEND}}},
        {Splash::SPLASH_FADE_OUT, true, {{200, AW_BLEND | AW_HIDE}}},
        {0, true, {}},
        {Splash::SPLASH_FADE_IN | Splash::SPLASH_FADE_OUT, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.flags << (c.animate ? " animated" : " plain"));
        CountingSplash::deleted = 0;
        animateCalls.clear();
        ASSERT_NE(Make(c.flags, 0), nullptr);
        splash_->SetAnimateWindow(c.animate ? &RecordAnimate : nullptr);
        ASSERT_TRUE(splash_->SetPicture(kSplashBitmap, 255, 0, 255));
        splash_->Display();
        EXPECT_TRUE(IsWindowVisible(hwnd_));
        visibleAtDestroy = true;
        SendMessageA(hwnd_, WM_TIMER, 0, 0);
        EXPECT_TRUE(Gone());
        EXPECT_FALSE(visibleAtDestroy);
        ASSERT_EQ(animateCalls.size(), c.expected.size());
        for (size_t i = 0; i < c.expected.size(); ++i) {
            EXPECT_EQ(animateCalls[i].hwnd, hwnd_);
            EXPECT_EQ(animateCalls[i].time, c.expected[i].first);
            EXPECT_EQ(animateCalls[i].flags, c.expected[i].second);
        }
        if (!animateCalls.empty() && (c.flags & Splash::SPLASH_FADE_IN)) {
            EXPECT_FALSE(animateCalls[0].visibleBefore) << "fading in starts from a hidden window";
        }
    }
    UnhookWindowsHookEx(hook);
    splash_ = nullptr;
}

}  // namespace
