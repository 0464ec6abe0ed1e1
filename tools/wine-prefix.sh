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

# fresh_prefix TEMPLATE: WINEPREFIX becomes a copy of a prefix booted once, which
# is what wineboot would make of it, in a quarter of the time. Scripts running
# side by side share the template; the first one boots it.
fresh_prefix() {
  local template=$1 wine_version
  wine_version=$(wine --version 2>/dev/null)
  (
    flock 9
    if [ "$(cat "$template/.booted" 2>/dev/null)" != "$wine_version" ]; then
      rm -rf "$template"
      WINEPREFIX=$template wineboot -i >/dev/null 2>&1 || true
      WINEPREFIX=$template wineserver -w
      echo "$wine_version" >"$template/.booted"
    fi
  ) 9>"$template.lock"
  rm -rf "$WINEPREFIX"
  cp -a "$template" "$WINEPREFIX"
  prefix_ready
}
