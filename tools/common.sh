# Shared by run.sh, test.sh, demo and bench: configure and build, Xvfb and the wineserver,
# and steps that say what failed. Source it; it sets ROOT, BUILD and DESKTOP_SIZE.
#   probe_32bit_kernel, choose_architecture, other_width, check_compilers,
#   configure_and_build, say_widths, start_virtual_display, stop_virtual_display,
#   wine_environment, step, prefix_wineservers, check_no_wineserver, check_wine_is_free,
#   start_display_and_wine
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${SLIVERDISK_BUILD:-$ROOT/build}
# The Wine prefix's virtual desktop, and the size of every virtual display we start. They
# must agree: on a larger screen, every top-level window of a process after its first
# (message boxes, choosers, the About window) comes out black in `xwd -root` pictures.
DESKTOP_SIZE=1024x768

# The program is 32-bit. Some machines cannot run 32-bit code at all: their kernel has its
# ia32 emulation switched off. There the suite runs a 64-bit build of the same sources under
# Wine's 64-bit loader, and the 32-bit tree is only compiled. SLIVERDISK_ARCH=i686 or
# x86_64 forces a width.
WINE32_LOADER=${SLIVERDISK_WINE32_LOADER:-/usr/lib/wine/wine}

# Runs a 91-byte 32-bit Linux program that only exits with status 42; true when it ran.
# What a failure printed is left in PROBE_OUTPUT.
probe_32bit_kernel() {
  local probe="$BUILD/.probe-i386" status
  mkdir -p "$BUILD" || return 1
  # ELF header, one loadable segment at 0x08048000, then: mov bl,42; xor eax,eax; inc eax;
  # int 0x80 (exit).
  printf '\177ELF\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0' >"$probe"
  printf '\0\0\0\0\0\0\0\0\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10' >>"$probe"
  printf '\0\200\4\10\133\0\0\0\133\0\0\0\5\0\0\0\0\20\0\0\263\52\61\300\100\315\200' >>"$probe"
  chmod +x "$probe"
  PROBE_OUTPUT=$("$probe" 2>&1)
  status=$?
  rm -f "$probe"
  [ "$status" -eq 42 ]
}

# Sets ARCH. i686 where the kernel runs 32-bit code and Wine's 32-bit loader starts;
# x86_64 only where the kernel itself refuses 32-bit code. A 32-bit loader that fails for
# another reason is reported as what it is, and the choice fails.
choose_architecture() {
  local said
  if [ -n "${SLIVERDISK_ARCH:-}" ]; then
    ARCH=$SLIVERDISK_ARCH
  elif ! probe_32bit_kernel && [[ "$PROBE_OUTPUT" == *"Exec format error"* ]]; then
    ARCH=x86_64
    echo "note: this machine's kernel cannot run 32-bit programs (a 32-bit probe program:" \
      "\"Exec format error\"); the suite runs a 64-bit build of the same sources, and the" \
      "32-bit tree is compiled only." >&2
  elif said=$("$WINE32_LOADER" --version 2>&1); then
    ARCH=i686
  elif [[ "$said" == *"Exec format error"* ]]; then
    ARCH=x86_64
    echo "note: this machine cannot run 32-bit programs (Wine's 32-bit loader: \"Exec format" \
      "error\"); the suite runs a 64-bit build of the same sources, and the 32-bit tree is" \
      "compiled only." >&2
  else
    echo "This machine runs 32-bit programs, but Wine's 32-bit loader ($WINE32_LOADER) does not" \
      "start: ${said:-no such program}" >&2
    echo "  What to do: install Wine's 32-bit part as root: dpkg --add-architecture i386 &&" \
      "apt-get update && apt-get install wine32:i386 (tools/install_packages.sh does this)." >&2
    return 1
  fi
  export SLIVERDISK_ARCH=$ARCH
}

# The other width, which every build also compiles (cmake/other_width.cmake).
other_width() {
  [ "$ARCH" = i686 ] && echo x86_64 || echo i686
}

# Both cross compilers must be there: every build compiles both widths.
check_compilers() {
  local width triple package status=0
  for width in i686 x86_64; do
    triple=$width-w64-mingw32
    package=g++-mingw-w64-${width/_/-}-posix
    if ! command -v "$triple-g++-posix" >/dev/null || ! command -v "$triple-windres" >/dev/null; then
      echo "The $width cross compiler ($triple-g++-posix, $triple-windres) is missing: install" \
        "the packages $package binutils-mingw-w64-${width/_/-} (tools/install_packages.sh" \
        "does this as root)." >&2
      status=1
    fi
  done
  return "$status"
}

# Configures the build folder for ARCH when it is not (a folder made for the other width is
# configured afresh; one made by a plain `cmake` for the same width is reused as it is;
# the Wine prefix in it always stays) and builds the given targets, or all of them: both
# widths, every program, test and tool.
configure_and_build() {
  [ -n "${ARCH:-}" ] || choose_architecture || return 1
  check_compilers || return 1
  local toolchain="$ROOT/cmake/$ARCH-mingw-w64.cmake" target_options=()
  if [ -f "$BUILD/CMakeCache.txt" ] && ! grep -q "^CMAKE_TOOLCHAIN_FILE:[A-Z]*=$toolchain\$" "$BUILD/CMakeCache.txt"; then
    echo "Build folder $BUILD was configured for another width: configuring it afresh" \
      "(its Wine prefix stays)" >&2
    rm -rf "$BUILD/CMakeCache.txt" "$BUILD/CMakeFiles"
  fi
  if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" || return 1
  fi
  [ $# -gt 0 ] && target_options=(--target "$@")
  cmake --build "$BUILD" "${target_options[@]}"
}

# One line: which width this machine ran and which it only compiled.
say_widths() {
  local other
  other=$(other_width)
  if [ "$ARCH" = i686 ]; then
    echo "Widths: i686 (32-bit, the shipped program) built and tested here; $other compiled only."
  else
    echo "Widths: x86_64 built and tested here; i686 compiled only: the shipped 32-bit program" \
      "was not started on this machine."
  fi
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
  [ -n "${ARCH:-}" ] || choose_architecture || return 1
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
