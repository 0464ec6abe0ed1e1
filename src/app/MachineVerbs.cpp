#include "app/MachineVerbs.h"

#include "app/ElevatedSwitch.h"
#include "app/Elevation.h"
#include "app/KeeperHandOver.h"
#include "resource.h"
#include "takeover/OwnedEngine.h"
#include "ui/ResourceText.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace machinekeys {
namespace {

// The machine's rows through the engine; only an elevated copy has the rights.
void RestoreMachineRows() {
    takeover::OwnedEngine engine(takeover::kMachineScope, takeover::kMachineScope, takeover::CompanyReading::Skipped);
    engine.manager.RestoreAll();
}

// The keeper's answer; when it does not answer, the user is told that nothing of the machine's changed.
keeper::Status AskKeeper(HWND owner, const MachineWideVerb& verb) {
    const keeper::Status status = keeper::Call(keeper::Request{verb.verb, 0, L""}).status;
    if (status != keeper::Status::Ok) PrintLine("%s (%u)\n", verb.notDoneLine, static_cast<unsigned>(status));
    if (status == keeper::Status::NoService) SayKeeperDoesNotAnswer(owner);
    return status;
}

// In an unelevated Pacewick: refused, the user may repeat it as administrator.
void AskKeeperOrOfferElevated(HWND owner, const MachineWideVerb& verb) {
    if (AskKeeper(owner, verb) == keeper::Status::Denied)
        OfferElevated(owner, ui::ResourceText(verb.elevateText), verb.switchName, verb.elevatedName);
}

// The hold-off after a Restore All, ended as a Yes to "Start Pacewick?" ends it:
// an unelevated administrator's Pacewick has its elevated copy ask.
void OfferToEndHoldOff(HWND owner) {
    if (MessageBoxW(owner, ui::ResourceText(IDS_HOLD_OFF_OFFER).c_str(), ui::ResourceText(IDS_HOLD_OFF_CAPTION).c_str(),
                    MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    if (AskKeeper(owner, kResumeKeeper) == keeper::Status::Denied)
        StartElevated(owner, kResumeKeeper.switchName, kResumeKeeper.elevatedName);
}

bool DeleteMachineEntry(HWND owner, const StartupEntry& entry, ListSet rows) {
    // What the keeper knows an entry by: a Startup folder item by its file's
    // whole name (the list may show it cut), a Run value by its name.
    const std::wstring name = IdentityOf(entry).name;
    bool changed = false;
    if (DeleteThroughKeeper(rows & MachineRows(), name, &changed) != keeper::Status::Denied) return changed;
    return OfferElevated(owner, ui::ResourceText(IDS_ELEVATE_DELETE), DeleteSwitchParameters(rows & MachineRows(), name),
                         "deletion") ||
           changed;
}

}  // namespace

const MachineWideVerb kRestoreMachine{keeper::Verb::RestoreAll, L"-RESTOREMACHINE", IDS_ELEVATE_RESTORE, "restore",
                                      "Keeper did not restore the machine entries", RestoreMachineRows};
const MachineWideVerb kResumeKeeper{keeper::Verb::Resume, L"-RESUMEKEEPER", IDS_ELEVATE_RESUME, "resume",
                                    "Keeper did not resume its take-overs", nullptr};

ListSet MachineRows() { return lists::RowsOf(lists::BuildSourceTable(), lists::Scope::Machine); }

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

void SayKeeperDoesNotAnswer(HWND owner) {
    MessageBoxW(owner, ui::ResourceText(IDS_KEEPER_NO_ANSWER).c_str(), ui::ResourceText(IDS_KEEPER_NO_ANSWER_CAPTION).c_str(),
                MB_OK | MB_ICONWARNING);
}

void RepeatElevated(const MachineWideVerb& verb) {
    if (keeper::KeeperInstalled()) {
        AskKeeper(nullptr, verb);
    } else if (verb.withoutKeeper) {
        verb.withoutKeeper();
    }
}

void ResumeKeeper(HWND owner) {
    // Only a hold-off needs ending: asked otherwise, the keeper would refuse every standard user.
    const keeper::Reply ping = keeper::Call(keeper::Request{keeper::Verb::Ping, 0, L""});
    if (ping.status == keeper::Status::Ok && (ping.detail & keeper::kHeldOff))
        AskKeeperOrOfferElevated(owner, kResumeKeeper);
}

CPacewickDlg::MachineLists ThroughKeeper(bool offerEndingHoldOff) {
    CPacewickDlg::MachineLists lists;
    lists.restoreAll = [](HWND owner) { AskKeeperOrOfferElevated(owner, kRestoreMachine); };
    lists.deleteEntry = DeleteMachineEntry;
    lists.heldOff = KeeperHoldsOff;
    if (offerEndingHoldOff && IsAdministratorAccount()) lists.endHoldOff = OfferToEndHoldOff;
    return lists;
}

}  // namespace machinekeys
