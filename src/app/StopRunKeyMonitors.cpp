#include "app/PacewickApp.h"
#include "monitor/RunKeyMonitor.h"

void CPacewickApp::StopRunKeyMonitors() { ::StopRunKeyMonitors(); }
