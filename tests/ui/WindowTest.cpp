// The window base: which messages reach the object, and that none reaches it
// once it is gone.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "ui/Window.h"

namespace {

class Recorder : public ui::Window {
public:
    static bool Register() {
        static const bool registered = [] {
            WNDCLASSEXA wc{};
            wc.lpszClassName = "PacewickWindowTest";
            return RegisterWindowClass(wc);
        }();
        return registered;
    }
    bool Make() { return CreateEx(0, "PacewickWindowTest", "t", WS_OVERLAPPEDWINDOW, 0, 0, 50, 50, nullptr); }

    std::vector<UINT> messages;
    std::vector<HWND> hwndAtPostNcDestroy;
    bool* destroyed = nullptr;
    ~Recorder() override {
        if (destroyed != nullptr) *destroyed = true;
    }

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        messages.push_back(message);
        return Window::HandleMessage(message, wParam, lParam);
    }
    void PostNcDestroy() override { hwndAtPostNcDestroy.push_back(Hwnd()); }
};

// Deletes itself, as the splash does.
class SelfDeleting : public Recorder {
protected:
    void PostNcDestroy() override { delete this; }
};

TEST(WindowTest, ObjectSeesItsWindowFromNcCreateToNcDestroyThenPostNcDestroyOnce) {
    ASSERT_TRUE(Recorder::Register());
    Recorder window;
    ASSERT_TRUE(window.Make());
    HWND hwnd = window.Hwnd();
    ASSERT_NE(hwnd, nullptr);
    EXPECT_FALSE(window.Make()) << "one window per object";
    ASSERT_FALSE(window.messages.empty());
    EXPECT_EQ(window.messages.front(), static_cast<UINT>(WM_NCCREATE));

    DestroyWindow(hwnd);
    EXPECT_EQ(window.messages.back(), static_cast<UINT>(WM_NCDESTROY));
    ASSERT_EQ(window.hwndAtPostNcDestroy.size(), 1u);
    EXPECT_EQ(window.hwndAtPostNcDestroy[0], nullptr);
    EXPECT_EQ(window.Hwnd(), nullptr);
    EXPECT_EQ(GetWindowLongPtrA(hwnd, GWLP_USERDATA), 0);
}

TEST(WindowTest, ObjectDeletedFirstTakesItsWindowAlong) {
    ASSERT_TRUE(Recorder::Register());
    auto* window = new Recorder;
    ASSERT_TRUE(window->Make());
    HWND hwnd = window->Hwnd();
    delete window;
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(WindowTest, HeapObjectCanDeleteItselfWhenItsWindowGoes) {
    ASSERT_TRUE(Recorder::Register());
    bool destroyed = false;
    auto* window = new SelfDeleting;
    window->destroyed = &destroyed;
    ASSERT_TRUE(window->Make());
    HWND hwnd = window->Hwnd();
    DestroyWindow(hwnd);
    EXPECT_TRUE(destroyed);
    EXPECT_FALSE(IsWindow(hwnd));
}

}  // namespace
