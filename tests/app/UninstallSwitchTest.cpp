#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "RegistrySandbox.h"
#include "app/UninstallSwitch.h"
#include "registry/RegistryKeys.h"

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;
const std::wstring kInstalledPath = L"\"C:\\Program Files\\Quorvell Software\\Pacewick\\pacewick.exe\"";
const std::wstring kProduct = L"{0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9}";
std::wstring Installed() { return kProduct; }
std::wstring NoneInstalled() { return std::wstring(); }

// Stands in for ShellExecuteExW: records what it was asked to start, and whether
// every entry was back in its Run key by then.
struct LauncherProbe {
    int calls = 0;
    std::wstring file, parameters;
    bool restoredWhenCalled = false;
    InstallerLauncher Launcher() {
        return [this](SHELLEXECUTEINFOW* given) {
            ++calls;
            file = given->lpFile ? given->lpFile : L"(null)";
            parameters = given->lpParameters ? given->lpParameters : L"(null)";
            restoredWhenCalled = RegistrySandbox::ValueNames(kUser, keys::kBackUp).empty() &&
                                 RegistrySandbox::ValueNames(kMachine, keys::kBackUp).empty();
            return true;
        };
    }
};

struct Value { HKEY hive; const char* name; RegValueBlob data; };

// Entries taken over earlier, one name in both hives; and the program's own value.
const Value kTakenOver[] = {{kUser, "Chat", RegistrySandbox::Text("\"C:\\Chat\\chat.exe\" -tray")},
                            {kUser, "Both", RegistrySandbox::Text("C:\\Both\\user.exe")},
                            {kMachine, "Sync", RegistrySandbox::Text("%ProgramFiles%\\Sync\\s.exe", REG_EXPAND_SZ)},
                            {kMachine, "Both", RegistrySandbox::Text("C:\\Both\\machine.exe")}};

void PutTakenOverEntries() {
    for (const Value& value : kTakenOver) RegistrySandbox::Put(value.hive, keys::kBackUp, value.name, value.data);
    RegistrySandbox::PutText(kMachine, keys::kRun, keys::kSelfValueName, "\"C:\\P\\pacewick.exe\"");
    RegistrySandbox::Put(kUser, keys::kConfig, "Restored", RegistrySandbox::Dword(0));
}

bool RegistryUntouched() {
    for (const Value& value : kTakenOver)
        if (RegistrySandbox::Get(value.hive, keys::kBackUp, value.name) != value.data) return false;
    return RegistrySandbox::ValueNames(kUser, keys::kRun).empty() &&
           RegistrySandbox::ValueNames(kMachine, keys::kRun).size() == 1;
}

TEST(UninstallSwitch, IsRecognisedOnlyAsAnArgumentOfItsOwnInCapitals) {
    RegistrySandbox sandbox;
    PutTakenOverEntries();
    LauncherProbe probe;
    // Installed in folders whose names hold the switch, quoted or not.
    const std::wstring switchInPath = L"\"C:\\Program Files\\Tools -UNINSTALL\\pacewick.exe\"";
    for (const std::wstring& ignored :
         {kInstalledPath + L" -uninstall", kInstalledPath + L" -Uninstall", kInstalledPath + L" /UNINSTALL",
          kInstalledPath + L" - UNINSTALL", kInstalledPath, kInstalledPath + L" -UNINSTALLX",
          kInstalledPath + L" x-UNINSTALL", kInstalledPath + L" /opt=a-UNINSTALLb", kInstalledPath + L" \"-UNINSTALL ",
          switchInPath, switchInPath + L" -tray", std::wstring(L"C:\\X-UNINSTALLY\\pacewick.exe"),
          std::wstring(L"-UNINSTALL"), std::wstring(L"\"-UNINSTALL\" -UNINSTALLX")})
        EXPECT_FALSE(HandleUninstallSwitch(ignored.c_str(), probe.Launcher(), Installed))
            << "recognised in: " << testing::PrintToString(ignored);
    EXPECT_EQ(0, probe.calls);
    EXPECT_TRUE(RegistryUntouched()) << "a line without the switch restored something";
    EXPECT_FALSE(HandleUninstallSwitch()) << "recognised in the test program's own command line";

    // First, later, quoted, and beside a path that holds it too.
    for (const std::wstring& recognised :
         {kInstalledPath + L" -UNINSTALL", kInstalledPath + L" -tray -UNINSTALL", kInstalledPath + L" \"-UNINSTALL\"",
          switchInPath + L" x -UNINSTALL", std::wstring(L"pacewick.exe -UNINSTALL -quiet")})
        EXPECT_TRUE(HandleUninstallSwitch(recognised.c_str(), probe.Launcher(), Installed))
            << "not recognised in: " << testing::PrintToString(recognised);
    EXPECT_EQ(5, probe.calls);
}

TEST(UninstallSwitch, RefusedWhileAnInstanceRunsThenRestoresEveryEntryAndStartsTheInstaller) {
    RegistrySandbox sandbox;
    PutTakenOverEntries();
    WNDCLASSA instanceClass{};
    instanceClass.lpfnWndProc = DefWindowProcA;
    instanceClass.hInstance = GetModuleHandleA(nullptr);
    instanceClass.lpszClassName = "PACEWICK_SINGLE_INSTANCE_APP";
    ASSERT_TRUE(RegisterClassA(&instanceClass));
    HWND instance = CreateWindowExA(0, instanceClass.lpszClassName, "Quorvell Pacewick", WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, instanceClass.hInstance, nullptr);  // hidden, as in the tray
    ASSERT_TRUE(instance);
    // Answers the refusal box from another thread, as the user would; after five
    // seconds any box, so that one with another caption cannot hang the test.
    std::atomic<bool> handled{false};
    std::wstring caption, text;
    std::thread user([&] {
        for (int tries = 0; !handled && tries < 1000; ++tries, Sleep(10)) {
            HWND box = FindWindowA("#32770", tries < 500 ? "Pacewick Needs to be closed" : nullptr);
            if (!box || !IsWindowVisible(box)) continue;
            wchar_t buffer[256] = {};
            GetWindowTextW(box, buffer, 256);
            caption = buffer;
            GetDlgItemTextW(box, 0xFFFF, buffer, 256);  // the box's text control
            text = buffer;
            SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            return;
        }
    });
    LauncherProbe probe;
    const std::wstring line = kInstalledPath + L" -UNINSTALL";
    handled = HandleUninstallSwitch(line.c_str(), probe.Launcher(), Installed);
    user.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(L"Pacewick Needs to be closed", caption);
    EXPECT_EQ(L"Please exit Pacewick app 1st then run uninstaller again", text);
    EXPECT_EQ(0, probe.calls) << "the installer was started beside a running instance";
    EXPECT_TRUE(RegistryUntouched()) << "entries were restored beside a running instance";

    // The user closes the running instance and starts the uninstaller again.
    DestroyWindow(instance);
    UnregisterClassA(instanceClass.lpszClassName, instanceClass.hInstance);
    EXPECT_TRUE(HandleUninstallSwitch(line.c_str(), probe.Launcher(), Installed));
    for (const Value& value : kTakenOver) {
        EXPECT_EQ(value.data, RegistrySandbox::Get(value.hive, keys::kRun, value.name)) << value.name;
        EXPECT_FALSE(RegistrySandbox::Get(value.hive, keys::kBackUp, value.name)) << value.name;
    }
    EXPECT_TRUE(RegistrySandbox::Get(kMachine, keys::kRun, keys::kSelfValueName)) << "its own value is left alone";
    EXPECT_EQ(RegistrySandbox::Dword(0), RegistrySandbox::Get(kUser, keys::kConfig, "Restored"));
    ASSERT_EQ(1, probe.calls);
    EXPECT_TRUE(probe.restoredWhenCalled) << "the installer was started before the entries were back";
    EXPECT_EQ(L"msiexec.exe", probe.file);
    EXPECT_EQ(L"/x " + kProduct, probe.parameters) << "not the installed product's code";
}

TEST(UninstallSwitch, WithNoPackageInstalledRestoresAndStartsNoInstaller) {
    RegistrySandbox sandbox;
    PutTakenOverEntries();
    EXPECT_EQ(L"", InstalledProductCode()) << "the test's prefix holds no Pacewick package";
    std::atomic<bool> handled{false};
    std::wstring text;
    std::thread user([&] {
        for (int tries = 0; !handled && tries < 1000; ++tries, Sleep(10)) {
            HWND box = FindWindowA("#32770", "Pacewick");
            if (!box || !IsWindowVisible(box)) continue;
            wchar_t buffer[256] = {};
            GetDlgItemTextW(box, 0xFFFF, buffer, 256);
            text = buffer;
            SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
            return;
        }
    });
    LauncherProbe probe;
    handled = HandleUninstallSwitch((kInstalledPath + L" -UNINSTALL").c_str(), probe.Launcher(), NoneInstalled);
    user.join();
    EXPECT_TRUE(handled);
    EXPECT_EQ(0, probe.calls) << "an installer was started with no product to remove";
    EXPECT_NE(std::wstring::npos, text.find(L"No installed Pacewick package")) << testing::PrintToString(text);
    for (const Value& value : kTakenOver)
        EXPECT_EQ(value.data, RegistrySandbox::Get(value.hive, keys::kRun, value.name)) << value.name;
}

}  // namespace
