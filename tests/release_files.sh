#!/usr/bin/env bash
# What the build ships and makes: the program stripped of its debug information,
# its version resource at the version the package carries, no import of msi.dll,
# and the UTF-8 manifest in every executable the build makes.
#   release_files.sh BIN_DIR VERSION OBJDUMP
set -euo pipefail
bin=$1 version=$2 objdump=$3
strings=${objdump%objdump}strings  # the toolchain's own, beside its objdump
failures=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

for shipped in pacewick.exe pacewick-keeper.exe; do
  [ "$("$objdump" -h "$bin/$shipped" | grep -c '\.debug')" -eq 0 ] || fail "$shipped carries debug sections"
  for field in FileVersion ProductVersion; do
    said=$("$strings" -el "$bin/$shipped" | grep -A1 -x "$field" | tail -1)
    [ "$said" = "$version" ] || fail "$shipped says $field '$said', the package $version"
  done
done
# Loaded from the system folder at run time: imported, an elevated copy would take it from its own folder.
! "$objdump" -p "$bin/pacewick.exe" | grep -qi 'DLL Name: msi\.dll' || fail "pacewick.exe imports msi.dll"
count=0
for exe in "$bin"/*.exe; do
  count=$((count + 1))
  grep -q 'WindowsSettings">UTF-8</activeCodePage>' "$exe" || fail "$(basename "$exe") has no UTF-8 manifest"
done
[ "$count" -ge 10 ] || fail "only $count executables found in $bin"
echo "$count executables checked, $failures failed"
[ "$failures" -eq 0 ]
