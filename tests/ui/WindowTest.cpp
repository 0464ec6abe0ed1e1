// The window base: the object hears its window from WM_NCCREATE to
// WM_NCDESTROY, then lets go of it; deleting the object takes the window along.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ui/Window.h"

namespace {

class Recorder : public ui::Window {
public:
    bool Make() { return CreateEx(0, "PacewickWindowTest", "t", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr); }
    std::vector<UINT> messages;
    int postNcDestroys = 0;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return Window::HandleMessage(message, wParam, lParam);
    }
    void PostNcDestroy() override { postNcDestroys += Hwnd() == nullptr ? 1 : 100; }
};

TEST(WindowTest, ObjectHearsItsWholeWindowLifeAndOutlivesItOrTakesItAlong) {
    WNDCLASSEXA wc{};
    wc.lpszClassName = "PacewickWindowTest";
    ASSERT_TRUE(ui::Window::RegisterWindowClass(wc));
    Recorder window;
    ASSERT_TRUE(window.Make());
    EXPECT_FALSE(window.Make()) << "one window per object";
    ASSERT_FALSE(window.messages.empty());
    EXPECT_EQ(window.messages.front(), static_cast<UINT>(WM_NCCREATE));
    DestroyWindow(window.Hwnd());
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_NCDESTROY));
    EXPECT_EQ(window.postNcDestroys, 1) << "called more than once or before the window was let go";

    auto* other = new Recorder;
    ASSERT_TRUE(other->Make());
    const HWND hwnd = other->Hwnd();
    delete other;
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
