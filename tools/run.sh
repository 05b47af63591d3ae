#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program under Wine. On $DISPLAY when
# there is one; otherwise on a virtual display, where it saves a screenshot into the build
# folder, says where, and ends the program.
set -euo pipefail
source "$(dirname "$0")/common.sh"

"$ROOT/tools/install_packages.sh"
configure_and_build
"$ROOT/tools/prepare_wine_prefix.sh" "$BUILD"
wine_environment

if [ -n "${DISPLAY:-}" ]; then
  exec wine "$BUILD/sliverdisk.exe"
fi

trap 'wineserver -k 2>/dev/null; stop_virtual_display' EXIT
start_virtual_display
wine "$BUILD/sliverdisk.exe" &
for _ in $(seq 100); do
  xdotool search --class sliverdisk >/dev/null 2>&1 && break
  sleep 0.2
done
sleep 3
shot="$BUILD/screenshot-main-window.png"
xwd -root -silent | convert xwd:- -crop 1024x768+0+0 +repage "$shot"
echo "No display: the program ran on a virtual display. Screenshot: $shot"
