#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <string>
#include <thread>

#include "RegistrySandbox.h"
#include "app/UninstallSwitch.h"
#include "registry/RegistryKeys.h"

namespace {

const HKEY kUser = HKEY_CURRENT_USER;
const HKEY kMachine = HKEY_LOCAL_MACHINE;
const std::wstring kInstalledPath = L"\"C:\\Program Files\\Quorvell Software\\Pacewick\\pacewick.exe\"";

// Stands in for ShellExecuteExW: records the record it was handed, and what the
// registry held at that moment.
struct LauncherProbe {
    int calls = 0;
    SHELLEXECUTEINFOW record{};
    std::wstring verb, file, parameters, directory;
    bool restoredWhenCalled = false;
    std::function<bool()> restoredCheck = [] { return true; };

    InstallerLauncher Launcher() {
        return [this](SHELLEXECUTEINFOW* given) {
            ++calls;
            record = *given;
            verb = given->lpVerb ? given->lpVerb : L"(null)";
            file = given->lpFile ? given->lpFile : L"(null)";
            parameters = given->lpParameters ? given->lpParameters : L"(null)";
            directory = given->lpDirectory ? given->lpDirectory : L"(null)";
            restoredWhenCalled = restoredCheck();
            return true;
        };
    }
};

// A few entries taken over earlier, kept in both BackUp keys.
void PutTakenOverEntries() {
    RegistrySandbox::PutText(kUser, keys::kBackUp, "Chat", "\"C:\\Chat\\chat.exe\" -tray");
    RegistrySandbox::PutText(kUser, keys::kBackUp, "Both", "C:\\Both\\user.exe");
    RegistrySandbox::PutText(kMachine, keys::kBackUp, "Sync", "%ProgramFiles%\\Sync\\sync.exe", REG_EXPAND_SZ);
    RegistrySandbox::PutText(kMachine, keys::kBackUp, "Both", "C:\\Both\\machine.exe");
    RegistrySandbox::PutText(kMachine, keys::kRun, keys::kSelfValueName, "\"C:\\P\\pacewick.exe\"");
    RegistrySandbox::Put(kUser, keys::kConfig, "Restored", RegistrySandbox::Dword(0));
}

bool BackUpKeysUntouched() {
    return RegistrySandbox::ValueNames(kUser, keys::kBackUp).size() == 2 &&
           RegistrySandbox::ValueNames(kMachine, keys::kBackUp).size() == 2 &&
           RegistrySandbox::ValueNames(kUser, keys::kRun).empty() &&
           RegistrySandbox::ValueNames(kMachine, keys::kRun).size() == 1;
}

TEST(UninstallSwitch, IsRecognisedInCapitalsOnlyButAnywhereInTheLine) {
    RegistrySandbox sandbox;
    PutTakenOverEntries();
    LauncherProbe probe;
    for (const wchar_t* ignored : {L"pacewick.exe -uninstall", L"pacewick.exe -Uninstall", L"pacewick.exe /UNINSTALL",
                                   L"pacewick.exe - UNINSTALL", L"pacewick.exe"}) {
        EXPECT_FALSE(HandleUninstallSwitch((kInstalledPath + L" " + ignored).c_str(), probe.Launcher()))
            << "recognised in: " << std::string(ignored, ignored + wcslen(ignored));
    }
    EXPECT_EQ(0, probe.calls);
    EXPECT_TRUE(BackUpKeysUntouched()) << "a line without the switch restored something";
    // The test program's own command line holds no switch.
    EXPECT_FALSE(HandleUninstallSwitch());

    EXPECT_TRUE(HandleUninstallSwitch(L"C:\\X-UNINSTALLY\\pacewick.exe", probe.Launcher()));
    EXPECT_TRUE(HandleUninstallSwitch(L"pacewick.exe /opt=a-UNINSTALLb", probe.Launcher()));
    EXPECT_TRUE(HandleUninstallSwitch(L"pacewick.exe -UNINSTALL", probe.Launcher()));
    EXPECT_EQ(3, probe.calls);
}

// Answers the refusal box from another thread, as the user would, and records its text.
class BoxAnswerer {
public:
    BoxAnswerer() : thread_([this] { Answer(); }) {}
    ~BoxAnswerer() { thread_.join(); }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;
    bool Found() const { return found_; }
    std::wstring Text() const { return text_; }

private:
    void Answer() {
        for (int attempt = 0; attempt < 1000 && !found_; ++attempt) {
            HWND box = FindWindowA("#32770", "Pacewick Needs to be closed");
            if (box && IsWindowVisible(box)) {
                wchar_t text[256] = {};
                GetDlgItemTextW(box, 0xFFFF, text, 256);  // the box's text control
                text_ = text;
                found_ = true;
                SendMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
                return;
            }
            Sleep(10);
        }
    }

    std::atomic<bool> found_{false};
    std::wstring text_;
    std::thread thread_;
};

TEST(UninstallSwitch, WithAnInstanceRunningOnlyAsksToCloseIt) {
    RegistrySandbox sandbox;
    PutTakenOverEntries();
    WNDCLASSA instanceClass{};
    instanceClass.lpfnWndProc = DefDlgProcA;
    instanceClass.cbWndExtra = DLGWINDOWEXTRA;
    instanceClass.hInstance = GetModuleHandleA(nullptr);
    instanceClass.lpszClassName = "PACEWICK_SINGLE_INSTANCE_APP";
    ASSERT_TRUE(RegisterClassA(&instanceClass));
    HWND instance = CreateWindowExA(0, "PACEWICK_SINGLE_INSTANCE_APP", "Quorvell Pacewick", WS_POPUP, 0, 0, 10, 10,
                                    nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);  // hidden, as in the tray
    ASSERT_TRUE(instance);

    LauncherProbe probe;
    bool handled = false;
    std::wstring boxText;
    bool boxFound = false;
    {
        BoxAnswerer answerer;
        handled = HandleUninstallSwitch((kInstalledPath + L" -UNINSTALL").c_str(), probe.Launcher());
        boxFound = answerer.Found();
        boxText = answerer.Text();
    }
    DestroyWindow(instance);
    UnregisterClassA("PACEWICK_SINGLE_INSTANCE_APP", GetModuleHandleA(nullptr));

    EXPECT_TRUE(handled);
    EXPECT_TRUE(boxFound) << "no box captioned \"Pacewick Needs to be closed\"";
    EXPECT_EQ(L"Please exit Pacewick app 1st then run uninstaller again", boxText);
    EXPECT_EQ(0, probe.calls) << "the installer was started beside a running instance";
    EXPECT_TRUE(BackUpKeysUntouched()) << "entries were restored beside a running instance";
}

TEST(UninstallSwitch, RestoresEveryEntryThenStartsTheInstaller) {
    RegistrySandbox sandbox;
    PutTakenOverEntries();
    const auto chat = RegistrySandbox::Get(kUser, keys::kBackUp, "Chat");
    const auto sync = RegistrySandbox::Get(kMachine, keys::kBackUp, "Sync");
    const auto userBoth = RegistrySandbox::Get(kUser, keys::kBackUp, "Both");
    const auto machineBoth = RegistrySandbox::Get(kMachine, keys::kBackUp, "Both");

    LauncherProbe probe;
    probe.restoredCheck = [] {
        return RegistrySandbox::ValueNames(kUser, keys::kBackUp).empty() &&
               RegistrySandbox::ValueNames(kMachine, keys::kBackUp).empty() &&
               RegistrySandbox::ValueNames(kUser, keys::kRun).size() == 2 &&
               RegistrySandbox::ValueNames(kMachine, keys::kRun).size() == 3;
    };
    EXPECT_TRUE(HandleUninstallSwitch((kInstalledPath + L" -UNINSTALL").c_str(), probe.Launcher()));

    ASSERT_EQ(1, probe.calls);
    EXPECT_TRUE(probe.restoredWhenCalled) << "the installer was started before the entries were back";
    EXPECT_EQ(chat, RegistrySandbox::Get(kUser, keys::kRun, "Chat"));
    EXPECT_EQ(userBoth, RegistrySandbox::Get(kUser, keys::kRun, "Both"));
    EXPECT_EQ(sync, RegistrySandbox::Get(kMachine, keys::kRun, "Sync"));
    EXPECT_EQ(machineBoth, RegistrySandbox::Get(kMachine, keys::kRun, "Both"));
    EXPECT_TRUE(RegistrySandbox::Get(kMachine, keys::kRun, keys::kSelfValueName)) << "its own value is left alone";
    EXPECT_TRUE(RegistrySandbox::ValueNames(kUser, keys::kBackUp).empty());
    EXPECT_TRUE(RegistrySandbox::ValueNames(kMachine, keys::kBackUp).empty());
    EXPECT_EQ(RegistrySandbox::Dword(0), RegistrySandbox::Get(kUser, keys::kConfig, "Restored"));

    const SHELLEXECUTEINFOW& record = probe.record;
    EXPECT_EQ(sizeof(SHELLEXECUTEINFOW), record.cbSize);
    EXPECT_EQ(0u, record.fMask);
    EXPECT_EQ(nullptr, record.hwnd);
    EXPECT_EQ(L"", probe.verb);
    EXPECT_EQ(L"msiexec.exe", probe.file);
    EXPECT_EQ(L"/x {6D2F0A91-3C4E-4B7A-9E15-28C7D04B3A62}", probe.parameters);
    EXPECT_EQ(L"", probe.directory);
    EXPECT_EQ(SW_SHOWNORMAL, record.nShow);
    EXPECT_EQ(nullptr, record.hInstApp);
    EXPECT_EQ(nullptr, record.lpIDList);
    EXPECT_EQ(nullptr, record.lpClass);
    EXPECT_EQ(nullptr, record.hkeyClass);
    EXPECT_EQ(0u, record.dwHotKey);
    EXPECT_EQ(nullptr, record.hIcon);
    EXPECT_EQ(nullptr, record.hProcess);
}

}  // namespace
