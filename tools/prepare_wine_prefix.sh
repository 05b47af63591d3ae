#!/usr/bin/env bash
# Makes the build folder's private Wine prefix once and reuses it afterwards.
# A 32-bit prefix (the program is 32-bit) keeps the registry in one view; a 64-bit test
# build (see common.sh) gets a 64-bit one.
# Usage: prepare_wine_prefix.sh [BUILD_DIR]
set -euo pipefail
source "$(dirname "$0")/common.sh"
[ $# -ge 1 ] && BUILD=$1
wine_environment
marker="$WINEPREFIX/.sliverdisk-ready"

# The floppy letters must exist when Wine's mount manager starts, or it never learns their
# type; tests later re-point or remove them. Re-made on every run, before any Wine process.
declare_floppies() {
  local l
  for l in a b f g; do
    mkdir -p "$BUILD/media/default-$l"
    [ -L "$WINEPREFIX/dosdevices/$l:" ] || ln -sfn "$BUILD/media/default-$l" "$WINEPREFIX/dosdevices/$l:"
  done
}

# Wine draws the title-bar buttons with its Marlett font. Debian's fonts-wine has it, but
# neither Wine loader here looks in that package's folder: without a copy in the prefix's
# own font folder the buttons come out as the letters "0 2 r". Only Marlett: the other
# fonts there would change how every text is drawn.
install_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" marlett=/usr/share/wine/fonts/marlett.ttf
  if [ ! -f "$marlett" ]; then
    echo "warning: $marlett is missing (package fonts-wine): title-bar buttons show as letters" >&2
    return 0
  fi
  mkdir -p "$fonts"
  cp -u "$marlett" "$fonts/"
}

if [ -f "$marker" ]; then
  declare_floppies
  install_fonts
  exit 0
fi

rm -rf "$WINEPREFIX"
[ "$ARCH" = i686 ] && export WINEARCH=win32
echo "Creating the Wine prefix in $WINEPREFIX (once per build folder)"
wineboot -i >/dev/null 2>&1 || true
wineserver -w

reg=$(mktemp --suffix=.reg)
cat >"$reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\Software\Wine\Drives]
"a:"="floppy"
"b:"="floppy"
"f:"="floppy"
"g:"="floppy"

[HKEY_CURRENT_USER\Software\Wine\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops]
"Default"="$DESKTOP_SIZE"

[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\AeDebug]
"Debugger"="false"
"Auto"="1"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
wine regedit /S "$(winepath -w "$reg")" >/dev/null 2>&1
wineserver -w
rm -f "$reg"
declare_floppies
install_fonts
# The drive types are read when the server starts: restart it.
wineserver -k 2>/dev/null || true
wineserver -w
touch "$marker"
