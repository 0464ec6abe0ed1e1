# Sourced by every script that runs Windows programs: makes the prefix named by
# WINEPREFIX ready and keeps its server running until the caller stops it.
#   source tools/wine-prefix.sh; prefix_ready
#
# Xvfb has no window manager, and Wine's X11 driver waits up to 2 s for one
# whenever a managed window is hidden (every Exit, every dialog that closes).
# Windows itself never waits there, so the prefixes' windows are unmanaged.
prefix_ready() {
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
  wineserver -w  # the server wineboot or an earlier run started must end before ours starts
  wineserver -p
  # Before the first window: explorer reads it when it starts.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine cmd /c exit >/dev/null 2>&1 || true
}
