#!/usr/bin/env bash
# Makes the build folder's private Wine prefix once and reuses it afterwards.
# A 32-bit prefix (the program is 32-bit) keeps the registry in one view; a 64-bit test
# build (see common.sh) gets a 64-bit one. A prefix of the other kind is never deleted: it
# is set aside as wineprefix-win32 or wineprefix-win64 and comes back when its width does.
# Usage: prepare_wine_prefix.sh [BUILD_DIR]
set -euo pipefail
source "$(dirname "$0")/common.sh"
[ $# -ge 1 ] && BUILD=$1
wine_environment
marker="$WINEPREFIX/.sliverdisk-ready"
# Wine's own waits have no limit; a server that does not wind down is a failed set-up.
SERVER_WAIT=${SLIVERDISK_SERVER_WAIT:-120}

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

wait_for_server() {
  timeout "$SERVER_WAIT" wineserver -w && return 0
  echo "prepare_wine_prefix: the Wine server did not finish $1 within $SERVER_WAIT s" >&2
  wineserver -k 2>/dev/null
  return 1
}

# win32 or win64, as Wine wrote it into the prefix's registry; empty when there is none
# (a missing registry is no failure: under `set -e` it would end the script unheard).
prefix_kind() {
  [ -f "$1/system.reg" ] || return 0
  sed -n 's/^#arch=//p' "$1/system.reg" | head -n 1
}

# A prefix of the other kind (left by a build of the other width) is set aside, and one of
# the wanted kind set aside earlier comes back.
wanted=win64
[ "$ARCH" = i686 ] && wanted=win32
kind=$(prefix_kind "$WINEPREFIX")
if [ -n "$kind" ] && [ "$kind" != "$wanted" ]; then
  if [ -e "$WINEPREFIX-$kind" ]; then
    echo "prepare_wine_prefix: $WINEPREFIX is a $kind prefix and $WINEPREFIX-$kind exists;" \
      "move one of them away" >&2
    exit 1
  fi
  echo "Setting the $kind Wine prefix aside as $WINEPREFIX-$kind; this build needs a $wanted one"
  mv "$WINEPREFIX" "$WINEPREFIX-$kind"
fi
if [ ! -e "$WINEPREFIX" ] && [ -f "$WINEPREFIX-$wanted/.sliverdisk-ready" ]; then
  echo "Taking back the $wanted Wine prefix set aside in $WINEPREFIX-$wanted"
  mv "$WINEPREFIX-$wanted" "$WINEPREFIX"
fi

if [ -f "$marker" ]; then
  declare_floppies
  install_fonts
  exit 0
fi

# An unfinished prefix of an earlier attempt (no marker) is made again.
rm -rf "$WINEPREFIX"
[ "$ARCH" = i686 ] && export WINEARCH=win32
echo "Creating the Wine prefix in $WINEPREFIX (once per build folder)"
boot_status=0
wineboot -i >/dev/null 2>&1 || boot_status=$?
wait_for_server "creating the prefix"
if [ "$(prefix_kind "$WINEPREFIX")" != "$wanted" ]; then
  echo "prepare_wine_prefix: wineboot did not make a $wanted prefix in $WINEPREFIX" \
    "(exit status $boot_status); run WINEPREFIX='$WINEPREFIX' wineboot -i to see why" >&2
  exit 1
fi

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
wait_for_server "writing the registry"
rm -f "$reg"
declare_floppies
install_fonts
# The drive types are read when the server starts: restart it.
wineserver -k 2>/dev/null || true
wait_for_server "stopping"
touch "$marker"
