# Shared by run.sh and test.sh: configure and build, Xvfb and the wineserver.
# Source it; it sets ROOT and BUILD.
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
