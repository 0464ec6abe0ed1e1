#include "policy/PolicyTable.h"

namespace policy {

// Rows in the order of Setting; the lists last. The texts are the ADMX's
// display names and explanations as the administrator reads them.
const Policy kPolicyTable[kPolicyCount] = {
    {L"DelayMinutes", Kind::Decimal, 1, 30, kBothClasses, true, "Delay before the programs start",
     "Sets how many minutes (1 to 30) Pacewick waits after log-on before it starts the programs it holds. "
     "While this policy is set, the user cannot change the delay."},
    {L"Manual", Kind::Switch, 0, 1, kBothClasses, true, "Start the held programs only by hand",
     "Enabled: Pacewick starts the programs it holds only when the user asks (Run All). "
     "Disabled: they start after the delay. While this policy is set, the user cannot change it."},
    {L"StartWhenReady", Kind::Switch, 0, 1, kBothClasses, true, "Start when the computer is ready",
     "Enabled: Pacewick starts the held programs as soon as the computer is ready, before the delay ends. "
     "Disabled: they wait for the delay. While this policy is set, the user cannot change it."},
    {L"NotifyNewcomers", Kind::Switch, 0, 1, kBothClasses, false, "Tell the user when a program adds itself",
     "Enabled: Pacewick shows a notice when a program adds itself to the programs started at log-on. "
     "Disabled: no notice. While this policy is set, the user cannot change it."},
    {L"StartAtLogOn", Kind::List, 0, 0, kBothClasses, false, "Programs that start at log-on",
     "Lists programs that Pacewick never delays, for every user: each entry a file name (vpnui.exe), which "
     "matches that program in any folder, or a full path, which matches that file only."},
    {L"LeaveAlone", Kind::List, 0, 0, kMachineClass, false, "Programs Pacewick leaves alone",
     "Lists programs that Pacewick never takes over: each entry a file name or a full path."},
};

}  // namespace policy
