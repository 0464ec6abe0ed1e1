#!/usr/bin/env bash
# What the build ships and makes: the program stripped of its debug information,
# its version resource at the version the package carries, and the UTF-8
# manifest in every executable the build makes.
#   release_files.sh BIN_DIR VERSION OBJDUMP
set -euo pipefail
bin=$1 version=$2 objdump=$3
failures=0
fail() { echo "FAIL $1"; failures=$((failures + 1)); }

[ "$("$objdump" -h "$bin/pacewick.exe" | grep -c '\.debug')" -eq 0 ] || fail "pacewick.exe carries debug sections"
shipped=$(strings -el "$bin/pacewick.exe" | grep -A1 -x 'FileVersion' | tail -1)
[ "$shipped" = "$version" ] || fail "pacewick.exe says version '$shipped', the package $version"
product=$(strings -el "$bin/pacewick.exe" | grep -A1 -x 'ProductVersion' | tail -1)
[ "$product" = "$version" ] || fail "pacewick.exe says product version '$product', the package $version"
count=0
for exe in "$bin"/*.exe; do
  count=$((count + 1))
  grep -q 'WindowsSettings">UTF-8</activeCodePage>' "$exe" || fail "$(basename "$exe") has no UTF-8 manifest"
done
[ "$count" -ge 10 ] || fail "only $count executables found in $bin"
echo "$count executables checked, $failures failed"
[ "$failures" -eq 0 ]
