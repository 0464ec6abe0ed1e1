// The splash window: its shape, its fades, its timer and its self-deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

#include "resource.h"
#include "ui/SplashScreenEx.h"
#include "win/Scoped.h"

namespace {

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

// Wine's AnimateWindow does not fade: the fades are seen through the splash's calls to it.
std::vector<std::pair<DWORD, DWORD>> fades;
BOOL WINAPI RecordFade(HWND window, DWORD milliseconds, DWORD flags) {
    fades.emplace_back(milliseconds, flags);
    return ShowWindow(window, (flags & AW_HIDE) ? SW_HIDE : SW_SHOW);
}

// The key cuts the shape unless a part is -1; it fades in 500 ms, out 200 ms on its time or any timer, deletes once.
TEST(Splash, ShapedByItsKeyFadedAndDismissedByItsTimer) {
    const DWORD fading = CSplashScreenEx::SPLASH_FADE_IN | CSplashScreenEx::SPLASH_FADE_OUT,
                shadow = CSplashScreenEx::SPLASH_SHADOW;
    for (const short red : {-1, 255}) {
        deleted = 0;
        fades.clear();
        const DWORD displayTime = red == -1 ? 150 : 0;
        // SPLASH_SHADOW lets a second one be made once the class exists.
        auto* splash = new CountingSplash;
        ASSERT_TRUE(splash->Create(nullptr, displayTime, shadow | (displayTime ? 0 : fading)));
        const HWND window = splash->Hwnd();
        const auto gone = [&] { return !IsWindow(window) && deleted == 1; };
        EXPECT_TRUE(splash->SetPicture(IDB_SPLASH, red, 0, 255));
        win::UniqueRegion probe(CreateRectRgn(0, 0, 0, 0));
        // With its key the window is the whole picture, one rectangle: no pixel of it has the key's colour.
        EXPECT_EQ(red == -1 ? ERROR : SIMPLEREGION, GetWindowRgn(window, probe.Get())) << "key red " << red;
        RECT box{}, whole{0, 0, red == -1 ? 0 : 500, red == -1 ? 0 : 300};
        GetRgnBox(probe.Get(), &box);
        EXPECT_TRUE(EqualRect(&box, &whole)) << "key red " << red;
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
