#include "app/MachineKeys.h"

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#include <optional>

#include "app/RunKeyMonitors.h"
#include "engine/StartupManager.h"
#include "engine/model/StartupLists.h"
#include "keeper/link/KeeperClient.h"
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
constexpr DWORD kElevatedWait = 60000;

ListSet MachineRows() {
    ListSet rows = 0;
    for (std::size_t row = 0; row < StartupLists().size(); ++row)
        if (StartupLists()[row].root == HKEY_LOCAL_MACHINE) rows |= ListBit(row);
    return rows;
}

// The keeper's answer for every row of the set; the worst status wins.
keeper::Status DeleteThroughKeeper(ListSet rows, const std::wstring& name, bool* changed) {
    keeper::Status worst = keeper::Status::Ok;
    for (std::size_t row = 0; row < StartupLists().size(); ++row) {
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

// Starts this program elevated with the delete switch and waits (bounded) for it.
bool DeleteElevated(HWND owner, ListSet rows, const std::wstring& name) {
    const std::optional<std::wstring> self = win::Wide(win::RunningExecutablePath());
    if (!self || self->empty()) return false;
    const std::wstring parameters = DeleteSwitchParameters(rows, name);
    SHELLEXECUTEINFOW record{};
    record.cbSize = sizeof record;
    record.fMask = SEE_MASK_NOCLOSEPROCESS;
    record.hwnd = owner;
    record.lpVerb = L"runas";
    record.lpFile = self->c_str();
    record.lpParameters = parameters.c_str();
    record.nShow = SW_HIDE;
    if (!ShellExecuteExW(&record)) {
        PrintLine("Elevated deletion not started (%lu)\n", GetLastError());
        return false;
    }
    const win::UniqueHandle process(record.hProcess);
    if (process) WaitForSingleObject(process.Get(), kElevatedWait);
    return true;
}

bool DeleteMachineEntry(HWND owner, const StartupEntry& entry, ListSet rows) {
    const std::optional<std::wstring> name = win::Wide(entry.name);
    if (!name) return false;
    bool changed = false;
    if (DeleteThroughKeeper(rows & MachineRows(), *name, &changed) != keeper::Status::Denied) return changed;
    if (MessageBoxW(owner, kElevateText, kElevateCaption, MB_YESNO | MB_ICONWARNING) != IDYES) return changed;
    return DeleteElevated(owner, rows & MachineRows(), *name) || changed;
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
    CStartupManager::GetInstance()->SetLists(ListBit(kUserList), ~0u);
    WatchMachineBackUpKeys(true);
    PrintLine(answered ? "Keeper service keeps the machine start-up lists\n"
                       : "Keeper service is installed but does not answer: the machine start-up lists are left as they are\n");
    return true;
}

void ResumeKeeper() {
    const keeper::Reply reply = keeper::Call(keeper::Request{keeper::Verb::Resume, 0, L""});
    if (reply.status != keeper::Status::Ok)
        PrintLine("Keeper did not resume its take-overs (%u)\n", static_cast<unsigned>(reply.status));
}

CPacewickDlg::MachineLists ThroughKeeper() {
    CPacewickDlg::MachineLists lists;
    lists.restoreAll = [] {
        const keeper::Reply reply = keeper::Call(keeper::Request{keeper::Verb::RestoreAll, 0, L""});
        if (reply.status != keeper::Status::Ok)
            PrintLine("Keeper did not restore the machine entries (%u)\n", static_cast<unsigned>(reply.status));
    };
    lists.deleteEntry = DeleteMachineEntry;
    return lists;
}

std::wstring DeleteSwitchParameters(ListSet rows, const std::wstring& name) {
    static const wchar_t digits[] = L"0123456789ABCDEF";
    std::wstring hex;
    for (wchar_t unit : name)
        for (int shift = 12; shift >= 0; shift -= 4) hex.push_back(digits[(static_cast<unsigned>(unit) >> shift) & 0xF]);
    return std::wstring(kDeleteSwitch) + L" " + std::to_wstring(rows) + L" " + hex;
}

bool HandleDeleteSwitch(const wchar_t* commandLine) {
    if (commandLine == nullptr) return false;
    int count = 0;
    const win::UniqueArgv arguments(CommandLineToArgvW(commandLine, &count));
    if (!arguments || count < 2 || std::wcscmp(arguments.Get()[1], kDeleteSwitch) != 0) return false;
    if (count != 4) return true;
    wchar_t* end = nullptr;
    const unsigned long rows = std::wcstoul(arguments.Get()[2], &end, 10);
    const std::optional<std::wstring> name = NameFromHex(arguments.Get()[3]);
    if (*end != L'\0' || !name || !(rows & MachineRows())) return true;
    if (keeper::KeeperRunning(0)) {
        bool changed = false;
        DeleteThroughKeeper(static_cast<ListSet>(rows) & MachineRows(), *name, &changed);
        return true;
    }
    const std::optional<std::string> text = win::Utf8(*name);
    StartupEntry entry;
    if (!text || !SetField(entry.name, text->c_str())) return true;
    entry.origin = Origin::AllUsers;
    entry.lists = static_cast<ListSet>(rows) & MachineRows();
    CStartupManager::GetInstance()->DeleteEntry(entry);
    return true;
}

bool HandleDeleteSwitch() { return HandleDeleteSwitch(GetCommandLineW()); }

}  // namespace machinekeys
