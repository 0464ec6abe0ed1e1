#pragma once
#include <windows.h>

#include <string>

#include "entry/StartupEntry.h"
#include "keeperlink/KeeperClient.h"
#include "ui/PacewickDlg.h"

// What the program asks of the keeper service for the machine's lists.
namespace machinekeys {

// A request that changes the machine for every account: the keeper grants it
// to an elevated administrator only, so an unelevated Pacewick offers to
// repeat it in an elevated copy of itself, started with the switch.
struct MachineWideVerb {
    keeper::Verb verb;
    const wchar_t* switchName;
    unsigned elevateText;      // the string table's text of the offer
    const char* elevatedName;  // in the line when the elevated copy did not start
    const char* notDoneLine;   // the keeper did not do it
    void (*withoutKeeper)();   // the elevated copy's own work where no service is installed
};

extern const MachineWideVerb kRestoreMachine;  // -RESTOREMACHINE
extern const MachineWideVerb kResumeKeeper;    // -RESUMEKEEPER; without the service there is no hold-off

ListSet MachineRows();

// The keeper's answer for every row of the set; the worst status wins.
// *changed is set when any row's entry was deleted.
keeper::Status DeleteThroughKeeper(ListSet rows, const std::wstring& name, bool* changed);

// The user is told that nothing of the machine's changed: the service does not answer.
void SayKeeperDoesNotAnswer(HWND owner);

// In the elevated copy: the keeper where it is installed (the engine never
// writes the keys a service keeps), else the engine.
void RepeatElevated(const MachineWideVerb& verb);

// After "Start Pacewick?" was answered Yes: ends the keeper's hold-off after a
// Restore All, this account's Pacewick taking over again. The service takes
// the machine's Run keys over before it answers, so that the list made next
// shows their entries. It grants that to an elevated administrator only:
// refused, the user is offered to repeat it as administrator (-RESUMEKEEPER).
void ResumeKeeper(HWND owner);

// Restore All and Delete entry of the machine's lists through the keeper.
// Refused (an unelevated caller), each offers its elevated repetition. The
// window also says while the keeper holds off after a Restore All; with
// `offerEndingHoldOff`, an administrator's window then offers to end it, as a
// Yes to "Start Pacewick?" does (whoever restored may never answer it again).
CPacewickDlg::MachineLists ThroughKeeper(bool offerEndingHoldOff);

}  // namespace machinekeys
