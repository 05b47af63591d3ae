# Shared by run.sh, test.sh, demo and bench: configure and build, Xvfb and the wineserver,
# and steps that say what failed. Source it; it sets ROOT, BUILD and DESKTOP_SIZE.
#   choose_architecture, configure_and_build, start_virtual_display, stop_virtual_display,
#   wine_environment, step, prefix_wineservers, check_no_wineserver, check_wine_is_free,
#   start_display_and_wine
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SLIVERDISK_BUILD:-$ROOT/build}
# The Wine prefix's virtual desktop, and the size of every virtual display we start. They
# must agree: on a larger screen, every top-level window of a process after its first
# (message boxes, choosers, the About window) comes out black in `xwd -root` pictures.
DESKTOP_SIZE=1024x768

# The program is 32-bit. Some machines cannot run 32-bit code at all: their kernel has its
# ia32 emulation switched off, and even Wine's 32-bit loader fails with "Exec format error".
# There the same sources are built for 64-bit Windows and run by Wine's 64-bit loader, so
# that every test still runs; the script says so. SLIVERDISK_ARCH=i686 or x86_64 forces one.
choose_architecture() {
  if [ -n "${SLIVERDISK_ARCH:-}" ]; then
    ARCH=$SLIVERDISK_ARCH
  elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    ARCH=i686
  else
    ARCH=x86_64
    echo "note: this machine cannot run 32-bit programs (its kernel's ia32 emulation is off);" \
      "building and running a 64-bit build of the same sources instead." >&2
  fi
  export SLIVERDISK_ARCH=$ARCH
}

configure_and_build() {
  [ -n "${ARCH:-}" ] || choose_architecture
  local toolchain="$ROOT/cmake/$ARCH-mingw-w64.cmake"
  # A build folder made for the other architecture is made again.
  if [ -f "$BUILD/CMakeCache.txt" ] && ! grep -q "^CMAKE_TOOLCHAIN_FILE.*=$toolchain\$" "$BUILD/CMakeCache.txt"; then
    echo "Build folder $BUILD was made for another architecture: configuring it afresh" >&2
    rm -rf "$BUILD/CMakeCache.txt" "$BUILD/CMakeFiles" "$BUILD/build.ninja" "$BUILD/wineprefix"
  fi
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" >/dev/null
  fi
  cmake --build "$BUILD" || return 1
  # The shipped program is the 32-bit one: a 64-bit build builds it too (cmake/package.cmake).
  [ "$ARCH" = i686 ] || echo "32-bit program (not runnable here): $BUILD/win32-program/sliverdisk.exe" >&2
}

# Starts Xvfb, as large as the Wine desktop, on a free display number and exports DISPLAY;
# XVFB_PID is set.
start_virtual_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${DESKTOP_SIZE}x24" -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    sleep 0.1
  done
  echo "Xvfb did not start" >&2
  return 1
}

stop_virtual_display() {
  [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null
  XVFB_PID=
}

wine_environment() {
  [ -n "${ARCH:-}" ] || choose_architecture
  export WINEPREFIX="$BUILD/wineprefix"
  if [ "$ARCH" = x86_64 ]; then
    # Debian's wine, wineboot and winepath scripts always start the 32-bit loader: put the
    # 64-bit one first on the path under the names they call.
    local shim="$BUILD/wine64-path"
    mkdir -p "$shim"
    for name in wine wine-stable; do
      printf '#!/bin/sh\nexec /usr/lib/wine/wine64 "$@"\n' >"$shim/$name"
      chmod +x "$shim/$name"
    done
    case ":$PATH:" in *":$shim:"*) ;; *) export PATH="$shim:$PATH" ;; esac
    export WINELOADER=/usr/lib/wine/wine64
  fi
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
}

# Runs one step of a script. When it fails, the script ends saying which step failed and
# what to do about it, instead of stopping without a word.
# Usage: step "what the step does" "what to do when it fails" command [arguments...]
step() {
  local what=$1 advice=$2 status=0
  shift 2
  "$@" || status=$?
  [ "$status" -eq 0 ] && return 0
  echo "$(basename "$0"): step failed: $what (exit status $status)." >&2
  echo "  What to do: $advice" >&2
  exit "$status"
}

# Process ids of any wineserver already serving $WINEPREFIX. Wine names the server's
# folder after the prefix's device and inode numbers, and the server works in it.
prefix_wineservers() {
  [ -d "$WINEPREFIX" ] || return 0
  local folder pid
  folder=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
  for pid in $(pgrep wineserver); do
    [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$folder" ] && echo "$pid"
  done
  return 0
}

# A wineserver left running by an earlier run keeps that run's display, or none: a new
# server cannot start and the programs cannot show a window. A run still going on in the
# same build folder looks the same, so this only says how to stop it.
check_no_wineserver() {
  local pids
  pids=$(prefix_wineservers | tr '\n' ' ')
  [ -z "$pids" ] && return 0
  echo "A Wine server for $WINEPREFIX is still running (process ${pids% }), left by an earlier" \
    "run or used by one still going on in $BUILD." >&2
  echo "  If no other tools/run.sh, tools/test.sh, tools/demo or tools/bench uses $BUILD, stop it" \
    "with: WINEPREFIX='$WINEPREFIX' wineserver -k" >&2
  return 1
}

start_wine_desktop() {
  wine rundll32.exe user32.dll,GetDesktopWindow </dev/null >/dev/null 2>&1
}

# The steps shared by the scripts that run the program on a virtual display. The check
# for a server left running comes first, before the caller's exit trap stops servers.
check_wine_is_free() {
  step "checking for a Wine server left running" "stop it as said above, then run again" \
    check_no_wineserver
}

start_display_and_wine() {
  step "starting the virtual display (Xvfb)" \
    "check that Xvfb is installed (package xvfb) and that /tmp/.X11-unix is writable" \
    start_virtual_display
  step "starting the Wine server" "see above; stop any Wine server of $WINEPREFIX and run again" \
    wineserver -p
  # Wine's services and the virtual desktop start here, not in the first program.
  step "starting Wine's desktop" \
    "run again with WINEDEBUG=err+all to see Wine's complaint; deleting $WINEPREFIX makes a new prefix" \
    start_wine_desktop
}
