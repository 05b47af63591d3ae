#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Idempotent: when every
# package is there already it only checks and returns within a second or two.
set -euo pipefail

packages=(
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake ninja-build python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb xdotool doctest-dev imagemagick x11-apps procps
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install_packages: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "Installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
