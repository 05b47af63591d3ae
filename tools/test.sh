#!/usr/bin/env bash
# Installs what is missing, builds every target in both widths, and runs the whole test
# suite under Wine, in the width this machine runs, on a private virtual display with one
# wineserver for the run. Ends with CTest's summary, why any test skipped itself, and a line
# saying which width ran and which was only compiled; the exit status is non-zero when either
# width does not compile or any test fails.
# Usage: tools/test.sh [extra ctest arguments, e.g. -R ui_]
set -uo pipefail
source "$(dirname "$0")/common.sh"

"$ROOT/tools/install_packages.sh" || exit 1
step "building both widths (every program, test and tool)" \
  "read the compiler's messages above; the other width's log is under $BUILD/other_width-prefix/src/other_width-stamp/" \
  configure_and_build
"$ROOT/tools/prepare_wine_prefix.sh" "$BUILD" || exit 1

wine_environment
check_no_wineserver || exit 1
cleanup() {
  wineserver -k 2>/dev/null
  # Media that tests mounted under the build folder go with the run.
  grep -o " $BUILD/[^ ]*" /proc/mounts 2>/dev/null | sort -r | while read -r m; do umount "$m" 2>/dev/null; done
  stop_virtual_display
}
trap cleanup EXIT
start_virtual_display || exit 1
wineserver -p
# Start Wine's services and the virtual desktop now, outside CTest: processes started by a
# test would inherit its output pipe and keep CTest waiting for them to exit.
wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1

cd "$BUILD" && ctest --output-on-failure -j2 "$@"
status=$?
# A test that skips itself says why in its output, which CTest shows only in its log.
grep -h '^skipped: ' "$BUILD/Testing/Temporary/LastTest.log" 2>/dev/null | tr -d '\r' |
  sed 's/^skipped: /A test skipped itself: /'
say_widths
exit "$status"
