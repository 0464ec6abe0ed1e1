#include "app/MachineKeys.h"

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <optional>
#include <vector>

#include "launch/Launcher.h"
#include "takeover/OwnedEngine.h"
#include "keeperlink/KeeperClient.h"
#include "registry/RegKey.h"
#include "resource.h"
#include "ui/ResourceText.h"
#include "registry/ValueWalk.h"
#include "win/Diagnostics.h"
#include "win/ModulePath.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace machinekeys {
namespace {

constexpr wchar_t kDeleteSwitch[] = L"-DELETEMACHINEENTRY";
constexpr wchar_t kElevateCaption[] = L"Administrator rights needed";
constexpr wchar_t kElevateText[] =
    L"This entry is started for every user of this computer: only an administrator can delete it.\n"
    L"Press [Yes] to delete it as administrator.";
constexpr wchar_t kRestoreElevateText[] =
    L"Your programs are back in your start-up list. The programs started for every user of this computer\n"
    L"stay delayed: only an administrator can put them back.\n"
    L"Press [Yes] to put them back as administrator.";
constexpr wchar_t kResumeElevateText[] =
    L"The programs started for every user of this computer are no longer delayed since your Restore All:\n"
    L"only an administrator can have them delayed again.\n"
    L"Press [Yes] to delay them again as administrator.";
constexpr wchar_t kNoAnswerCaption[] = L"Pacewick";
constexpr wchar_t kNoAnswerText[] =
    L"The Pacewick Keeper service does not answer: the programs started for every user of this computer\n"
    L"are left as they are. Start the service in the Services console (services.msc), then try again.";
constexpr DWORD kElevatedWait = 60000;

// A request that changes the machine for every account: the keeper grants it
// to an elevated administrator only, so an unelevated Pacewick offers to
// repeat it in an elevated copy of itself, started with the switch.
struct MachineWideVerb {
    keeper::Verb verb;
    const wchar_t* switchName;
    const wchar_t* elevateText;
    const char* elevatedName;  // in the line when the elevated copy did not start
    const char* notDoneLine;   // the keeper did not do it
    void (*withoutKeeper)();   // the elevated copy's own work where no service is installed
};

// The machine's rows through the engine; only an elevated copy has the rights.
void RestoreMachineRows();

const MachineWideVerb kRestore{keeper::Verb::RestoreAll, L"-RESTOREMACHINE", kRestoreElevateText, "restore",
                               "Keeper did not restore the machine entries", RestoreMachineRows};
// Without the service there is no hold-off to end.
const MachineWideVerb kResume{keeper::Verb::Resume, L"-RESUMEKEEPER", kResumeElevateText, "resume",
                              "Keeper did not resume its take-overs", nullptr};

ListSet MachineRows() { return lists::RowsOf(lists::BuildSourceTable(), lists::Scope::Machine); }

// The keeper's answer for every row of the set; the worst status wins.
keeper::Status DeleteThroughKeeper(ListSet rows, const std::wstring& name, bool* changed) {
    keeper::Status worst = keeper::Status::Ok;
    for (std::size_t row = 0; row < sizeof rows * 8; ++row) {
        if (!(rows & ListBit(row))) continue;
        const keeper::Reply reply = keeper::Call(keeper::Request{keeper::Verb::DeleteEntry,
                                                                 static_cast<std::uint32_t>(row), name});
        if (reply.status == keeper::Status::Ok && reply.detail) *changed = true;
        if (reply.status != keeper::Status::Ok) {
            PrintLine("Keeper refused to delete an entry (%u)\n", static_cast<unsigned>(reply.status));
            if (worst == keeper::Status::Ok || reply.status == keeper::Status::Denied) worst = reply.status;
        }
    }
    return worst;
}

void RestoreMachineRows() {
    takeover::OwnedEngine engine(takeover::kMachineScope, takeover::kMachineScope, false);
    engine.manager.RestoreAll();
}

// Starts this program elevated with the switch's parameters and waits (bounded) for it.
bool StartElevated(HWND owner, const std::wstring& parameters, const char* what) {
    const std::optional<std::wstring> self = win::Wide(win::RunningExecutablePath());
    if (!self || self->empty()) return false;
    SHELLEXECUTEINFOW record{};
    record.cbSize = sizeof record;
    record.fMask = SEE_MASK_NOCLOSEPROCESS;
    record.hwnd = owner;
    record.lpVerb = L"runas";
    record.lpFile = self->c_str();
    record.lpParameters = parameters.c_str();
    record.nShow = SW_HIDE;
    if (!ShellExecuteExW(&record)) {
        PrintLine("Elevated %s not started (%lu)\n", what, GetLastError());
        return false;
    }
    const win::UniqueHandle process(record.hProcess);
    if (process) WaitForSingleObject(process.Get(), kElevatedWait);
    return true;
}

// The user is told why, and chooses whether Windows asks for an administrator's consent.
bool OfferElevated(HWND owner, const wchar_t* text, const std::wstring& parameters, const char* what) {
    if (MessageBoxW(owner, text, kElevateCaption, MB_YESNO | MB_ICONWARNING) != IDYES) return false;
    return StartElevated(owner, parameters, what);
}

// The keeper's answer; when it does not answer, the user is told that nothing of the machine's changed.
keeper::Status AskKeeper(HWND owner, const MachineWideVerb& verb) {
    const keeper::Status status = keeper::Call(keeper::Request{verb.verb, 0, L""}).status;
    if (status != keeper::Status::Ok) PrintLine("%s (%u)\n", verb.notDoneLine, static_cast<unsigned>(status));
    if (status == keeper::Status::NoService) MessageBoxW(owner, kNoAnswerText, kNoAnswerCaption, MB_OK | MB_ICONWARNING);
    return status;
}

// In an unelevated Pacewick: refused, the user may repeat it as administrator.
void AskKeeperOrOfferElevated(HWND owner, const MachineWideVerb& verb) {
    if (AskKeeper(owner, verb) == keeper::Status::Denied)
        OfferElevated(owner, verb.elevateText, verb.switchName, verb.elevatedName);
}

// The hold-off after a Restore All, ended as a Yes to "Start Pacewick?" ends it:
// an unelevated administrator's Pacewick has its elevated copy ask.
void OfferToEndHoldOff(HWND owner) {
    if (MessageBoxW(owner, ui::ResourceText(IDS_HOLD_OFF_OFFER).c_str(), ui::ResourceText(IDS_HOLD_OFF_CAPTION).c_str(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (AskKeeper(owner, kResume) == keeper::Status::Denied) StartElevated(owner, kResume.switchName, kResume.elevatedName);
}

// In the elevated copy: the keeper where it is installed (the engine never
// writes the keys a service keeps), else the engine.
void RepeatElevated(const MachineWideVerb& verb) {
    if (keeper::KeeperInstalled()) {
        AskKeeper(nullptr, verb);
    } else if (verb.withoutKeeper) {
        verb.withoutKeeper();
    }
}

bool DeleteMachineEntry(HWND owner, const StartupEntry& entry, ListSet rows) {
    // What the keeper knows an entry by: a Startup folder item by its file's
    // whole name (the list may show it cut), a Run value by its name.
    const std::wstring name = IdentityOf(entry).name;
    bool changed = false;
    if (DeleteThroughKeeper(rows & MachineRows(), name, &changed) != keeper::Status::Denied) return changed;
    return OfferElevated(owner, kElevateText, DeleteSwitchParameters(rows & MachineRows(), name), "deletion") ||
           changed;
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

std::optional<std::wstring> NameFromHex(const wchar_t* hex) {
    const std::size_t length = std::wcslen(hex);
    if (length == 0 || length % 4 != 0) return std::nullopt;
    std::wstring name;
    for (std::size_t i = 0; i < length; i += 4) {
        unsigned unit = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const int digit = HexDigit(hex[i + j]);
            if (digit < 0) return std::nullopt;
            unit = unit << 4 | static_cast<unsigned>(digit);
        }
        if (unit == 0) return std::nullopt;
        name.push_back(static_cast<wchar_t>(unit));
    }
    return name;
}

// The delete switch's rows and name; a malformed one deletes nothing.
void DeleteAsSwitched(const wchar_t* rowsText, const wchar_t* hex) {
    wchar_t* end = nullptr;
    const unsigned long rows = std::wcstoul(rowsText, &end, 10);
    const std::optional<std::wstring> name = NameFromHex(hex);
    if (*end != L'\0' || !name || !(rows & MachineRows())) return;
    // An installed service alone writes the machine's keys, stopped or not.
    if (keeper::KeeperInstalled()) {
        bool changed = false;
        if (DeleteThroughKeeper(static_cast<ListSet>(rows) & MachineRows(), *name, &changed) ==
            keeper::Status::NoService)
            MessageBoxW(nullptr, kNoAnswerText, kNoAnswerCaption, MB_OK | MB_ICONWARNING);
        return;
    }
    if (!win::Utf8(*name)) return;
    const bool whole = FitsEntry(*name);
    // A Startup folder item's name is its identity, whatever its length.
    StartupEntry entry = EntryOf(EntryIdentity{static_cast<ListSet>(rows) & MachineRows(), *name});
    entry.origin = Origin::AllUsers;
    takeover::OwnedEngine engine(takeover::kMachineScope, takeover::kMachineScope, false);
    // A cut name would name another Run value: only the folders' rows take it.
    for (std::size_t row = 0; row < engine.sources.size(); ++row)
        if (!whole && engine.sources[row]->Kind() != ItemKind::File) entry.lists &= ~ListBit(row);
    engine.manager.DeleteBackupEntry(entry);
}

}  // namespace

bool HandOverToKeeper(bool* answers) {
    // Installed, the service alone writes machine keys, even while it is
    // stopped or does not answer: a program that wrote them meanwhile would
    // do so beside a LocalSystem service (or in the place of one that someone
    // stopped to have it so). The machine's entries meanwhile stay where they are.
    const bool installed = keeper::QueryKeeperService().installed;
    const bool answered = installed && keeper::KeeperRunning();
    if (answers) *answers = answered;
    if (!installed) return false;
    PrintLine(answered ? "Keeper service keeps the machine start-up lists\n"
                       : "Keeper service is installed but does not answer: the machine start-up lists are left as they are\n");
    return true;
}

void ResumeKeeper(HWND owner) {
    // Only a hold-off needs ending: asked otherwise, the keeper would refuse every standard user.
    const keeper::Reply ping = keeper::Call(keeper::Request{keeper::Verb::Ping, 0, L""});
    if (ping.status == keeper::Status::Ok && (ping.detail & keeper::kHeldOff)) AskKeeperOrOfferElevated(owner, kResume);
}

// Whether Windows starts a program of this name from one of the entry's Run
// keys already: a restore that found a newer value there left the old copy
// behind, and only the newer one is Windows's.
bool StartedByWindows(const lists::SourceTable& sources, const StartupEntry& entry) {
    for (std::size_t row = 0; row < sources.size(); ++row)
        if ((entry.lists & ListBit(row)) && sources[row]->StartedByWindows(entry)) return true;
    return false;
}

void StartHeldMachineEntries(const launch::Launcher::Starts& starts) {
    takeover::OwnedEngine engine(takeover::kNoScope, takeover::kMachineScope, false);
    engine.manager.RebuildList();
    const EntryList listed = engine.model.CopyList();
    EntryList toStart;  // in the list's order
    for (std::size_t index = listed.Count(); index-- > 0;)
        if (!StartedByWindows(engine.sources, listed[index])) toStart.InsertFront(listed[index]);
    launch::Launcher(engine.model, starts).LaunchAll(toStart);
}

bool KeeperHoldsOff() {
    registry::Key key;
    DWORD held = 0;
    return key.Open(HKEY_LOCAL_MACHINE, win::WidenAscii(keeper::kKeeperKey), KEY_QUERY_VALUE | KEY_WOW64_64KEY) ==
               ERROR_SUCCESS &&
           key.ReadDword(keeper::kHoldOffValue, &held) == ERROR_SUCCESS && held != 0;
}

bool IsAdministratorAccount() {
    win::UniqueHandle token;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) return false;
    GetTokenInformation(token.Get(), TokenGroups, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token.Get(), TokenGroups, buffer.data(), size, &size)) return false;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        if (IsWellKnownSid(groups->Groups[i].Sid, WinBuiltinAdministratorsSid)) return true;
    return false;
}

CPacewickDlg::MachineLists ThroughKeeper(bool offerEndingHoldOff) {
    CPacewickDlg::MachineLists lists;
    lists.restoreAll = [](HWND owner) { AskKeeperOrOfferElevated(owner, kRestore); };
    lists.deleteEntry = DeleteMachineEntry;
    lists.heldOff = KeeperHoldsOff;
    if (offerEndingHoldOff && IsAdministratorAccount()) lists.endHoldOff = OfferToEndHoldOff;
    return lists;
}

std::wstring DeleteSwitchParameters(ListSet rows, const std::wstring& name) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (wchar_t unit : name)
        for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(digits[(static_cast<unsigned>(unit) >> shift) & 0xF]);
    return std::wstring(kDeleteSwitch) + L" " + std::to_wstring(rows) + L" " + hex;
}

bool HandleElevatedSwitch(const wchar_t* commandLine) {
    if (commandLine == nullptr) return false;
    int count = 0;
    const win::UniqueArgv arguments(CommandLineToArgvW(commandLine, &count));
    if (!arguments || count < 2) return false;
    const wchar_t* const given = arguments.Get()[1];
    if (std::wcscmp(given, kDeleteSwitch) == 0) {
        if (count == 4) DeleteAsSwitched(arguments.Get()[2], arguments.Get()[3]);
        return true;
    }
    for (const MachineWideVerb* verb : {&kRestore, &kResume}) {
        if (std::wcscmp(given, verb->switchName) != 0) continue;
        if (count == 2) RepeatElevated(*verb);
        return true;
    }
    return false;
}

bool HandleElevatedSwitch() { return HandleElevatedSwitch(GetCommandLineW()); }

}  // namespace machinekeys
