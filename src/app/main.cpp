#include <windows.h>
#include <commctrl.h>

#include "app/PacewickApp.h"
#include "win/ComApartment.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    const win::ComApartment apartment;  // the help and web links call the shell from this thread
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    CPacewickApp().InitInstance();
    // The return ends the process, a monitor still busy after its bounded stop
    // included: the engine, the settings and the monitors are never destroyed,
    // so that thread finds them until the end.
    return 0;
}
