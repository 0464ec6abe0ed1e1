// Every account's held programs back for the package's removal, as the system
// does it: a signed-in account's registry where Windows loaded it, another's
// loaded from its profile for the moment, its folders only below its profile.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

#include "../lists/FolderTestSupport.h"
#include "EventRecorder.h"
#include "RegistrySandbox.h"
#include "TestHelpers.h"
#include "accounts/EveryAccount.h"
#include "registry/RegKey.h"
#include "registry/RegistryKeys.h"
#include "win/ProtectedFolder.h"

namespace {

using namespace foldertest;
using accounts::Outcome;

constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr const wchar_t* kShellFolders = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr const wchar_t* kStartupBelow = L"\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup";
constexpr const wchar_t* kBackUpBelow = L"\\AppData\\Roaming\\Quorvell Software\\Pacewick\\StartupBackUp";
// Where the test keeps what stands for HKEY_USERS, and the hives it saves as files.
constexpr const wchar_t* kUsers = L"Users";
constexpr const wchar_t* kHiveSource = L"HiveSource";

win::UniqueKey Made(HKEY root, const std::wstring& path, DWORD options = 0) {
    win::UniqueKey key;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path.c_str(), 0, nullptr, options, KEY_ALL_ACCESS | KEY_CREATE_LINK,
                                             nullptr, key.Put(), nullptr))
        << U8(path);
    return key;
}

void Write(HKEY root, const std::wstring& path, const std::wstring& name, const RegValueBlob& value) {
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(Made(root, path).Get(), name.c_str(), 0, value.type, value.data(), value.count()));
}

// The values of a key by name, exactly; none when it is missing.
std::map<std::wstring, RegValueBlob> ValuesOf(HKEY root, const std::wstring& path) {
    std::map<std::wstring, RegValueBlob> values;
    registry::Key key;
    std::vector<std::wstring> names;
    if (key.Open(root, path, KEY_READ) != ERROR_SUCCESS || key.ValueNames(&names) != ERROR_SUCCESS) return values;
    for (const std::wstring& name : names) key.ReadValue(name, &values[name]);
    return values;
}

RegValueBlob WideText(const std::wstring& text, DWORD type = REG_SZ) {
    return RegValueBlob(type, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

void MakeFolders(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        CreateDirectoryW(win::LongPath(path.substr(0, at)).c_str(), nullptr);
    CreateDirectoryW(win::LongPath(path).c_str(), nullptr);
}

// A made-up account in the machine's list of profiles, with both of its folders.
struct Profile {
    std::wstring sid, folder;
    Profile(const std::wstring& root, std::wstring id) : sid(std::move(id)), folder(root + L"\\" + sid) {
        MakeFolders(Startup());
        MakeFolders(BackUp());
        Write(HKEY_LOCAL_MACHINE, std::wstring(kProfileList) + L"\\" + sid, L"ProfileImagePath",
              WideText(folder, REG_EXPAND_SZ));
    }
    std::wstring Startup() const { return folder + kStartupBelow; }
    std::wstring BackUp() const { return folder + kBackUpBelow; }
    // Where the test writes its registry: the stand-in for HKEY_USERS\<SID>.
    std::wstring Hive() const { return std::wstring(kUsers) + L"\\" + sid; }
};

// Held values as Pacewick leaves them: one that expands, one of an odd number of bytes.
const RegValueBlob kVpn = WideText(L"%ProgramFiles%\\Vpn\\vpnui.exe /tray", REG_EXPAND_SZ);
const RegValueBlob kChat(REG_SZ, "c\0h\0a\0t\0", 7);
const RegValueBlob kOld = WideText(L"C:\\old.exe");

void HoldValues(const std::wstring& hive) {
    Write(HKEY_CURRENT_USER, hive + L"\\" + keys::kRun, L"Old", kOld);
    Write(HKEY_CURRENT_USER, hive + L"\\" + keys::kBackUp, L"Vpn", kVpn);
    Write(HKEY_CURRENT_USER, hive + L"\\" + keys::kBackUp, L"Chat", kChat);
}

const std::map<std::wstring, RegValueBlob> kAllBack = {{L"Old", kOld}, {L"Vpn", kVpn}, {L"Chat", kChat}};

struct Told {
    std::vector<std::pair<std::wstring, Outcome>> news;
    std::map<std::wstring, std::string> why;
    void operator()(const accounts::AccountNews& told) {
        news.emplace_back(told.sid, told.outcome);
        if (told.outcome != Outcome::Begun) why[told.sid] = told.why;
    }
    // Each account's end, which must follow its beginning directly.
    std::map<std::wstring, Outcome> Ends() const {
        std::map<std::wstring, Outcome> ends;
        for (std::size_t at = 0; at + 1 < news.size(); at += 2) {
            EXPECT_EQ(Outcome::Begun, news[at].second);
            EXPECT_EQ(news[at].first, news[at + 1].first);
            ends[news[at + 1].first] = news[at + 1].second;
        }
        return ends;
    }
};

// Profiles' folders are short, as Windows makes them.
struct ProfilesFolder {
    std::wstring root;
    ProfilesFolder() {
        wchar_t temp[MAX_PATH] = {};
        root = std::wstring(temp, GetTempPathW(MAX_PATH, temp)) + L"pacewick-accounts-" + std::to_wstring(GetTickCount());
        MakeFolders(root);
    }
    ~ProfilesFolder() { RemoveTree(root); }
    ProfilesFolder(const ProfilesFolder&) = delete;
    ProfilesFolder& operator=(const ProfilesFolder&) = delete;
};

// Saving a registry file needs it, as loading one does.
bool EnableBackUpPrivilege() {
    win::UniqueHandle token;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    return OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, token.Put()) &&
           LookupPrivilegeValueW(nullptr, L"SeBackupPrivilege", &privileges.Privileges[0].Luid) &&
           AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

class Accounts : public ::testing::Test {
protected:
    Accounts() : users(Made(HKEY_CURRENT_USER, kUsers)) {}
    accounts::Tally Restore(const accounts::Places::BeforeUnload& look = nullptr) {
        accounts::Places places{HKEY_LOCAL_MACHINE, users.Get(), look};
        return accounts::RestoreEveryAccount(places, recorder, [this](const accounts::AccountNews& news) { told(news); });
    }

    RegistrySandbox sandbox;
    ProfilesFolder scratch;
    win::UniqueKey users;
    EventRecorder recorder;
    Told told;
};

TEST_F(Accounts, SignedInAndSignedOutAccountsGetEveryProgramBackAndAnUnreachableOneIsNamed) {
    const Profile in(scratch.root, L"S-1-5-21-7-7-7-1001"), out(scratch.root, L"S-1-5-21-7-7-7-1002"),
        gone(scratch.root, L"S-1-5-21-7-7-7-1003"), system(scratch.root, L"S-1-5-18");
    RemoveTree(gone.folder);
    HoldValues(in.Hive());
    HoldValues(system.Hive());  // a service account's: never touched
    // Windows' copy of a profile it could not load names the same folder: never an account of its own.
    Write(HKEY_LOCAL_MACHINE, std::wstring(kProfileList) + L"\\" + in.sid + L".bak", L"ProfileImagePath",
          WideText(in.folder, REG_EXPAND_SZ));
    // The signed-out account's registry is only in its profile's file.
    const std::wstring source = std::wstring(kHiveSource) + L"\\" + out.sid;
    HoldValues(source);
    ASSERT_TRUE(EnableBackUpPrivilege());
    ASSERT_EQ(ERROR_SUCCESS, RegSaveKeyW(Made(HKEY_CURRENT_USER, source).Get(), (out.folder + L"\\NTUSER.DAT").c_str(), nullptr));
    for (const Profile* profile : {&in, &out, &system})
        ASSERT_TRUE(WriteItem(profile->BackUp() + L"\\tool " + profile->sid + L".cmd", "@echo " + U8(profile->sid), 11, 22, 0));
    const Image inItems = ImageOf(in.BackUp()), outItems = ImageOf(out.BackUp()), systemItems = ImageOf(system.BackUp());

    // Wine writes no loaded registry file back: the signed-out account's is read while loaded.
    std::map<std::wstring, RegValueBlob> outRun, outHeld;
    const accounts::Tally tally = Restore([&](const std::wstring& sid, HKEY hive) {
        EXPECT_EQ(out.sid, sid);
        outRun = ValuesOf(hive, keys::kRun);
        outHeld = ValuesOf(hive, keys::kBackUp);
    });

    const std::map<std::wstring, Outcome> ends = told.Ends();
    EXPECT_EQ((std::map<std::wstring, Outcome>{{in.sid, Outcome::Back}, {out.sid, Outcome::Back},
                                               {gone.sid, Outcome::Unreachable}}),
              ends);
    EXPECT_EQ(6u, told.news.size());
    EXPECT_FALSE(told.why[gone.sid].empty());
    EXPECT_EQ(2u, tally.back);
    EXPECT_EQ(1u, tally.unreachable);
    EXPECT_EQ(kAllBack, ValuesOf(HKEY_CURRENT_USER, in.Hive() + L"\\" + keys::kRun));
    EXPECT_TRUE(ValuesOf(HKEY_CURRENT_USER, in.Hive() + L"\\" + keys::kBackUp).empty());
    EXPECT_EQ(kAllBack, outRun);
    EXPECT_TRUE(outHeld.empty());
    win::UniqueKey mount;
    EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExW(HKEY_USERS, (L"Pacewick restore " + out.sid).c_str(), 0, KEY_READ, mount.Put()))
        << "the signed-out account's registry stays loaded";
    EXPECT_EQ(inItems, ImageOf(in.Startup()));
    EXPECT_EQ(outItems, ImageOf(out.Startup()));
    EXPECT_TRUE(ImageOf(in.BackUp()).empty() && ImageOf(out.BackUp()).empty());
    EXPECT_EQ(2u, ValuesOf(HKEY_CURRENT_USER, system.Hive() + L"\\" + keys::kBackUp).size());
    EXPECT_EQ(systemItems, ImageOf(system.BackUp()));
}

// What Wine cannot make (a folder of another account's) is shown through the handle facts' seam.
std::wstring foreignFolder, foreignOwner;
bool ForeignFacts(HANDLE handle, const std::wstring& path, win::HandleFacts* facts) {
    if (!win::ReadHandleFacts(handle, facts)) return false;
    if (!foreignFolder.empty() && win::SamePath(path, foreignFolder)) {
        facts->adminOwner = facts->trustedOwner = false;
        facts->owner = foreignOwner;
    }
    return true;
}

std::wstring CurrentUserSid() {
    win::UniqueHandle token;
    alignas(TOKEN_USER) BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
    DWORD size = 0;
    wchar_t* text = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
        !GetTokenInformation(token.Get(), TokenUser, buffer, sizeof buffer, &size) ||
        !ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, &text))
        return std::wstring();
    std::wstring sid = text;
    LocalFree(text);
    return sid;
}

TEST_F(Accounts, NothingGoesWhereAnAccountPointsBeyondItsOwnPlaces) {
    const Profile linked(scratch.root, L"S-1-5-21-7-7-7-2001"), redirected(scratch.root, L"S-1-5-21-7-7-7-2002"),
        junctioned(scratch.root, L"S-1-5-21-7-7-7-2003"), foreign(scratch.root, L"S-1-5-21-7-7-7-2004"),
        own(scratch.root, L"S-1-5-21-7-7-7-2005");
    // Its Run key a registry link to a key standing for the machine's Run key.
    Write(HKEY_CURRENT_USER, L"MachineRun", L"Machine", kOld);
    Write(HKEY_CURRENT_USER, linked.Hive() + L"\\" + keys::kBackUp, L"Vpn", kVpn);
    const std::wstring target = L"\\Registry\\User\\" + CurrentUserSid() + L"\\" + W(sandbox.Root()) + L"\\HKCU\\MachineRun";
    Made(HKEY_CURRENT_USER, linked.Hive() + L"\\Software\\Microsoft\\Windows\\CurrentVersion");
    const win::UniqueKey link = Made(HKEY_CURRENT_USER, linked.Hive() + L"\\" + keys::kRun,
                                     REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE);
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExW(link.Get(), L"SymbolicLinkValue", 0, REG_LINK,
                                            reinterpret_cast<const BYTE*>(target.data()),
                                            static_cast<DWORD>(target.size() * sizeof(wchar_t))));
    ASSERT_EQ(1u, ValuesOf(HKEY_CURRENT_USER, linked.Hive() + L"\\" + keys::kRun).count(L"Machine")) << "no link";
    // Its Startup folder named outside its profile.
    const std::wstring elsewhere = scratch.root + L"\\Elsewhere\\Startup";
    MakeFolders(elsewhere);
    Write(HKEY_CURRENT_USER, redirected.Hive() + L"\\" + kShellFolders, L"Startup", WideText(elsewhere, REG_EXPAND_SZ));
    // Its AppData a link to a folder that holds what looks like both folders (all users' Startup folder, say).
    const std::wstring planted = scratch.root + L"\\Planted";
    MakeFolders(planted + L"\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
    MakeFolders(planted + L"\\Roaming\\Quorvell Software\\Pacewick\\StartupBackUp");
    RemoveTree(junctioned.folder + L"\\AppData");
    ASSERT_TRUE(PlantLink(junctioned.folder + L"\\AppData", planted));
    for (const Profile* profile : {&redirected, &junctioned, &foreign, &own}) {
        Made(HKEY_CURRENT_USER, profile->Hive());
        ASSERT_TRUE(WriteItem(profile->BackUp() + L"\\tool.cmd", "@echo held", 11, 22, 0));
    }
    const Image item = ImageOf(own.BackUp());

    // The foreign account's Startup folder belongs to a third account.
    const win::HandleFactsReader original = win::HandleFactsHook().exchange(ForeignFacts);
    foreignFolder = foreign.Startup();
    foreignOwner = L"S-1-5-21-9-9-9-666";
    Restore();
    const std::map<std::wstring, Outcome> ends = told.Ends();
    EXPECT_EQ(Outcome::NotAllBack, ends.at(linked.sid));
    EXPECT_EQ(1u, ValuesOf(HKEY_CURRENT_USER, L"MachineRun").size()) << "written through the account's link";
    EXPECT_EQ(1u, ValuesOf(HKEY_CURRENT_USER, linked.Hive() + L"\\" + keys::kBackUp).count(L"Vpn"));
    EXPECT_EQ(Outcome::NotAllBack, ends.at(redirected.sid));
    EXPECT_NE(std::string::npos, told.why[redirected.sid].find("outside its profile"));
    EXPECT_TRUE(ImageOf(elsewhere).empty());
    EXPECT_EQ(item, ImageOf(redirected.BackUp()));
    EXPECT_EQ(Outcome::NotAllBack, ends.at(junctioned.sid));
    EXPECT_TRUE(ImageOf(planted + L"\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup").empty());
    EXPECT_EQ(item, ImageOf(planted + L"\\Roaming\\Quorvell Software\\Pacewick\\StartupBackUp"));
    EXPECT_EQ(Outcome::NotAllBack, ends.at(foreign.sid));
    EXPECT_TRUE(ImageOf(foreign.Startup()).empty());
    EXPECT_EQ(item, ImageOf(foreign.BackUp()));

    // The own account's Startup folder belongs to itself (not to this process's account).
    foreignFolder = own.Startup();
    foreignOwner = own.sid;
    told = Told{};
    Restore();
    foreignFolder.clear();
    win::HandleFactsHook().store(original);
    // An account's own folder is trusted: its item goes back.
    EXPECT_EQ(Outcome::Back, told.Ends().at(own.sid));
    EXPECT_EQ(item, ImageOf(own.Startup()));
    EXPECT_TRUE(ImageOf(own.BackUp()).empty());
}

}  // namespace
