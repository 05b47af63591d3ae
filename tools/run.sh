#!/usr/bin/env bash
# Installs what is missing, builds the program alone (no test or tool), and starts it under
# Wine. On $DISPLAY when
# there is one; otherwise on a virtual display, where it saves a screenshot into the build
# folder, says where, and ends the program.
set -euo pipefail
source "$(dirname "$0")/common.sh"

step "installing packages" "run as root on Debian 12, or install the packages named above" \
  "$ROOT/tools/install_packages.sh"
step "choosing the width to run (32-bit where the machine can)" \
  "install what the message above names, or force a width with SLIVERDISK_ARCH=i686 or x86_64" \
  choose_architecture
step "building the program" "read the compiler's messages above" \
  configure_and_build sliverdisk
step "preparing the Wine prefix" "delete $BUILD/wineprefix and run again" \
  "$ROOT/tools/prepare_wine_prefix.sh" "$BUILD"
wine_environment

check_wine_is_free
if [ -n "${DISPLAY:-}" ]; then
  exec wine "$BUILD/sliverdisk.exe"
fi

trap 'wineserver -k 2>/dev/null; stop_virtual_display' EXIT
start_display_and_wine
wine "$BUILD/sliverdisk.exe" &
shown() {
  for _ in $(seq 100); do
    xdotool search --class sliverdisk >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}
step "waiting for the main window" \
  "run $BUILD/sliverdisk.exe under wine with WINEDEBUG=err+all to see why it did not start" shown
sleep 3
shot="$BUILD/screenshot-main-window.png"
step "taking the screenshot" "check that xwd (x11-apps) and convert (imagemagick) are installed" \
  bash -c "xwd -root -silent | convert xwd:- '$shot'"
echo "No display: the program ran on a virtual display. Screenshot: $shot"
