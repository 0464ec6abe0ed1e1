#include <windows.h>
#include <commctrl.h>

#include "app/PacewickApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    CPacewickApp().InitInstance();
    // The return ends the process, a monitor still busy after its bounded stop
    // included: nothing that thread uses is destroyed before.
    return 0;
}
