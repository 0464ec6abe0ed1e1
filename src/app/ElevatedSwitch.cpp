#include "app/ElevatedSwitch.h"

#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <optional>

#include "app/HexName.h"
#include "app/MachineVerbs.h"
#include "takeover/OwnedEngine.h"
#include "win/Scoped.h"
#include "win/Text.h"

namespace machinekeys {
namespace {

constexpr wchar_t kDeleteSwitch[] = L"-DELETEMACHINEENTRY";

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
            SayKeeperDoesNotAnswer(nullptr);
        return;
    }
    if (!win::Utf8(*name)) return;  // a lone surrogate: no name the list showed
    const bool whole = FitsEntry(*name);
    // A Startup folder item's name is its identity, whatever its length.
    StartupEntry entry = EntryOf(EntryIdentity{static_cast<ListSet>(rows) & MachineRows(), *name});
    entry.origin = Origin::AllUsers;
    takeover::OwnedEngine engine(takeover::kMachineScope, takeover::kMachineScope, takeover::CompanyReading::Skipped);
    // A cut name would name another Run value: only the folders' rows take it.
    for (std::size_t row = 0; row < engine.sources.size(); ++row)
        if (!whole && engine.sources[row]->Kind() != ItemKind::File) entry.lists &= ~ListBit(row);
    engine.manager.DeleteBackupEntry(entry);
}

}  // namespace

std::wstring DeleteSwitchParameters(ListSet rows, const std::wstring& name) {
    return std::wstring(kDeleteSwitch) + L" " + std::to_wstring(rows) + L" " + NameToHex(name);
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
    for (const MachineWideVerb* verb : {&kRestoreMachine, &kResumeKeeper}) {
        if (std::wcscmp(given, verb->switchName) != 0) continue;
        if (count == 2) RepeatElevated(*verb);
        return true;
    }
    return false;
}

bool HandleElevatedSwitch() { return HandleElevatedSwitch(GetCommandLineW()); }

}  // namespace machinekeys
