#!/usr/bin/env bash
# The build scripts' choices (tools/common.sh, tools/prepare_wine_prefix.sh), with stand-ins
# for Wine's loader, cmake and the compilers; nothing is built and no Wine starts.
# Expected: the 32-bit probe agrees with Wine's real 32-bit loader; x86_64 is chosen only
# for "Exec format error", any other loader failure is named with what to install; a missing
# cross compiler is named by its package; a build folder of the other width is configured
# afresh and one of the same width made by a plain cmake is reused, and neither loses its
# Wine prefix; a prefix of the other kind is set aside and one set aside earlier comes back.
set -uo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/expect.sh"
has() { grep -qF -- "$2" <<<"$1"; }
lacks() { ! has "$@"; }

# Runs a snippet with common.sh sourced and BUILD in the work folder; output and status.
in_scripts() {
  env -u SLIVERDISK_ARCH BUILD_FOR_TEST="$work/build" bash -c \
    "source '$root/tools/common.sh'; BUILD=\$BUILD_FOR_TEST; $1" 2>&1
}
stand_in() {  # name, then the script's body
  mkdir -p "$work/bin"
  printf '#!/bin/sh\n%s\n' "$2" >"$work/bin/$1"
  chmod +x "$work/bin/$1"
}

# --- the probe and the choice of width -------------------------------------------------
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  expect "the 32-bit probe runs where Wine's 32-bit loader does" \
    bash -c "source '$root/tools/common.sh'; BUILD='$work/build'; probe_32bit_kernel"
elif [[ "$(/usr/lib/wine/wine --version 2>&1)" == *"Exec format error"* ]]; then
  out=$(in_scripts 'probe_32bit_kernel; echo "status $? $PROBE_OUTPUT"')
  expect "the 32-bit probe fails as Wine's 32-bit loader does" has "$out" "Exec format error"
  expect "... and says it failed" has "$out" "status 1 "
fi
stand_in wine-missing-libs 'echo "wine: error while loading shared libraries: libwine.so.1: cannot open shared object file" >&2; exit 127'
out=$(SLIVERDISK_WINE32_LOADER="$work/bin/wine-missing-libs" in_scripts \
  'probe_32bit_kernel() { return 0; }; choose_architecture; echo "status $? arch ${ARCH:-none}"')
expect "a loader missing its libraries stops the choice" has "$out" "status 1 arch none"
expect "... and is reported as what it is" has "$out" "libwine.so.1: cannot open shared object file"
expect "... with what to install" has "$out" "apt-get install wine32:i386"
expect "... and not blamed on the kernel" lacks "$out" "kernel"
stand_in wine-exec-format 'echo "/usr/lib/wine/wine: cannot execute binary file: Exec format error" >&2; exit 126'
out=$(SLIVERDISK_WINE32_LOADER="$work/bin/wine-exec-format" in_scripts \
  'probe_32bit_kernel() { PROBE_OUTPUT="Permission denied"; return 1; }; choose_architecture; echo "arch $ARCH"')
expect "the loader's \"Exec format error\" chooses x86_64" has "$out" "arch x86_64"
out=$(in_scripts 'probe_32bit_kernel() { PROBE_OUTPUT="cannot execute binary file: Exec format error"; return 1; }
  choose_architecture; echo "arch $ARCH"; say_widths')
expect "a kernel refusing the probe chooses x86_64" has "$out" "arch x86_64"
expect "... and the run says the shipped program was not started" \
  has "$out" "i686 compiled only: the shipped 32-bit program was not started on this machine."

# --- the compilers -------------------------------------------------------------------
mkdir -p "$work/only-i686"
for tool in bash cat grep sed env i686-w64-mingw32-g++-posix i686-w64-mingw32-windres; do
  ln -sf "$(command -v "$tool")" "$work/only-i686/$tool"
done
out=$(PATH="$work/only-i686" in_scripts 'check_compilers; echo "status $?"')
expect "a missing x86_64 compiler fails the check" has "$out" "status 1"
expect "... naming its packages" has "$out" "install the packages g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
expect "... and only the missing one" lacks "$out" "g++-mingw-w64-i686-posix"

# --- a build folder made for another width, or by a plain cmake ------------------------
stand_in cmake 'echo "cmake $*" >>"$CMAKE_CALLS"'
stand_in i686-w64-mingw32-g++-posix 'exit 0'
stand_in i686-w64-mingw32-windres 'exit 0'
stand_in x86_64-w64-mingw32-g++-posix 'exit 0'
stand_in x86_64-w64-mingw32-windres 'exit 0'
mkdir -p "$work/build/wineprefix/drive_c" "$work/build/CMakeFiles"
echo "CMAKE_TOOLCHAIN_FILE:FILEPATH=$root/cmake/x86_64-mingw-w64.cmake" >"$work/build/CMakeCache.txt"
export CMAKE_CALLS="$work/cmake-calls"
out=$(PATH="$work/bin:$PATH" SLIVERDISK_ARCH=i686 in_scripts 'ARCH=i686; configure_and_build sliverdisk')
expect "a build folder of the other width is configured afresh" \
  grep -q "cmake -S $root -B $work/build -G Ninja -DCMAKE_TOOLCHAIN_FILE=$root/cmake/i686-mingw-w64.cmake" "$CMAKE_CALLS"
expect "... then only the asked target is built" grep -qx "cmake --build $work/build --target sliverdisk" "$CMAKE_CALLS"
expect "... and its Wine prefix stays" test -d "$work/build/wineprefix/drive_c"
rm -f "$CMAKE_CALLS"
echo "CMAKE_GENERATOR:INTERNAL=Unix Makefiles" >"$work/build/CMakeCache.txt"
echo "CMAKE_TOOLCHAIN_FILE:FILEPATH=$root/cmake/i686-mingw-w64.cmake" >>"$work/build/CMakeCache.txt"
out=$(PATH="$work/bin:$PATH" in_scripts 'ARCH=i686; configure_and_build')
expect "a plain cmake's folder of the same width is reused as it is" \
  grep -qx "cmake --build $work/build" "$CMAKE_CALLS"
expect "... without configuring it again" lacks "$(cat "$CMAKE_CALLS")" "-S "

# --- a Wine prefix of the other kind ------------------------------------------------------
mkdir -p "$work/build/wineprefix-win32" "$work/build/wineprefix/dosdevices" "$work/build/wineprefix-win32/dosdevices"
echo "#arch=win64" >"$work/build/wineprefix/system.reg"
echo "#arch=win32" >"$work/build/wineprefix-win32/system.reg"
touch "$work/build/wineprefix/.sliverdisk-ready" "$work/build/wineprefix-win32/.sliverdisk-ready"
out=$(SLIVERDISK_ARCH=i686 bash "$root/tools/prepare_wine_prefix.sh" "$work/build" 2>&1)
expect "a win64 prefix is set aside for a 32-bit build" grep -qx "#arch=win64" "$work/build/wineprefix-win64/system.reg"
expect "... and the win32 one set aside earlier comes back" grep -qx "#arch=win32" "$work/build/wineprefix/system.reg"
expect "... ready, without a new one being made" lacks "$out" "Creating the Wine prefix"

all_passed
