#!/usr/bin/env bash
# What the build ships and makes: the program stripped of its debug information,
# its version resource at the version the package carries, and the UTF-8
# manifest in every executable the build makes; the shipped programs import only
# DLLs that Windows always takes from its system folder (its known DLLs, and the
# common controls through the manifest), never one that the program's folder
# could supply when an administrator starts a copy there.
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
  for dll in $("$objdump" -p "$bin/$shipped" | sed -n 's/^\tDLL Name: //p'); do
    case "${dll,,}" in
      kernel32.dll|advapi32.dll|user32.dll|gdi32.dll|shell32.dll|ole32.dll|oleaut32.dll|msvcrt.dll|comctl32.dll) ;;
      *) fail "$shipped imports $dll, which its own folder could supply" ;;
    esac
  done
done
count=0
for exe in "$bin"/*.exe; do
  count=$((count + 1))
  grep -q 'WindowsSettings">UTF-8</activeCodePage>' "$exe" || fail "$(basename "$exe") has no UTF-8 manifest"
done
[ "$count" -ge 10 ] || fail "only $count executables found in $bin"
echo "$count executables checked, $failures failed"
[ "$failures" -eq 0 ]
