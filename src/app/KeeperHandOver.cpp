#include "app/KeeperHandOver.h"

#include <windows.h>

#include "keeperlink/KeeperClient.h"
#include "registry/RegKey.h"
#include "win/Diagnostics.h"
#include "win/Text.h"

namespace machinekeys {

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

bool KeeperHoldsOff() {
    registry::Key key;
    DWORD held = 0;
    return key.Open(HKEY_LOCAL_MACHINE, keeper::kKeeperKey, KEY_QUERY_VALUE | KEY_WOW64_64KEY) ==
               ERROR_SUCCESS &&
           key.ReadDword(keeper::kHoldOffValue, &held) == ERROR_SUCCESS && held != 0;
}

}  // namespace machinekeys
