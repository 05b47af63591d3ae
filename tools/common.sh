# Shared by run.sh and test.sh: configure and build, Xvfb and the wineserver.
# Source it; it sets ROOT and BUILD.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SLIVERDISK_BUILD:-$ROOT/build}

configure_and_build() {
  if [ ! -f "$BUILD/build.ninja" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja \
      -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/i686-mingw-w64.cmake" >/dev/null
  fi
  cmake --build "$BUILD"
}

# Starts Xvfb on a free display number and exports DISPLAY; XVFB_PID is set.
start_virtual_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
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
  export WINEPREFIX="$BUILD/wineprefix"
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEDLLOVERRIDES="mscoree,mshtml="
}
