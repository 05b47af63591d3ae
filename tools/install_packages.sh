#!/usr/bin/env bash
# Installs what building and testing need on Debian 12, as root. Idempotent: when every
# package is there already it only checks and returns within a second or two.
#
# A registry in the middle of a mirror sync serves indices of mismatched sizes: the index
# update fails, and mixed indices can make packages uninstallable. So a failed update is
# retried with back-off; if the packages still cannot be installed, the update and install
# are tried once more against the main suites alone (no security suite), through a
# temporary sources list and index folder, leaving the machine's own untouched; if that
# fails too, one paragraph says what is missing, what apt said and what to do.
#
# For the script's own test (tests/setup/), never needed otherwise:
#   SLIVERDISK_PACKAGES       packages to check instead of the project's list
#   SLIVERDISK_APT_OPTIONS    extra options for every apt-get call (e.g. another sources list)
#   SLIVERDISK_APT_MIRROR     the Debian mirror the fallback uses
#   SLIVERDISK_APT_BACKOFF    seconds before the first retry (doubled for each next one)
set -uo pipefail

packages=(
  g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake ninja-build python3
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32:i386 wine64 fonts-wine xvfb xdotool doctest-dev imagemagick x11-apps procps
  fuse3 python3-fuse
)
[ -n "${SLIVERDISK_PACKAGES:-}" ] && read -r -a packages <<<"$SLIVERDISK_PACKAGES"
read -r -a extra_options <<<"${SLIVERDISK_APT_OPTIONS:-}"
update_attempts=3
backoff=${SLIVERDISK_APT_BACKOFF:-10}
apt_log=$(mktemp)
fallback_dir=
trap 'rm -f "$apt_log"; [ -n "$fallback_dir" ] && rm -rf "$fallback_dir"' EXIT

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
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive

# apt-get with the given options; its messages go to the log, for the final paragraph.
apt_get() {
  apt-get -q "$@" >"$apt_log" 2>&1
}

update_indices() {
  local attempt delay=$backoff
  for attempt in $(seq "$update_attempts"); do
    apt_get "${extra_options[@]}" "$@" update && return 0
    [ "$attempt" -lt "$update_attempts" ] || break
    echo "install_packages: the index update failed (attempt $attempt of $update_attempts);" \
      "trying again in $delay s" >&2
    sleep "$delay"
    delay=$((delay * 2))
  done
  return 1
}

install_missing() {
  apt_get "${extra_options[@]}" "$@" install -y --no-install-recommends "${missing[@]}"
}

# The Debian mirror the machine uses for its main suites, or the default one.
debian_mirror() {
  if [ -n "${SLIVERDISK_APT_MIRROR:-}" ]; then
    echo "$SLIVERDISK_APT_MIRROR"
    return
  fi
  local found
  found=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources \
    2>/dev/null | grep -oE '(https?|file):[^ ]*/debian/?( |$)' | head -n 1 | tr -d ' ')
  echo "${found:-http://deb.debian.org/debian}"
}

# A sources list of the release's main suites alone, and an index folder of its own.
main_suites_options() {
  local codename mirror
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  codename=${codename:-bookworm}
  mirror=$(debian_mirror)
  fallback_dir=$(mktemp -d)
  mkdir -p "$fallback_dir/parts" "$fallback_dir/lists/partial"
  printf 'deb %s %s main\ndeb %s %s-updates main\n' "$mirror" "$codename" "$mirror" "$codename" \
    >"$fallback_dir/main-suites.list"
  echo "install_packages: trying once more against the main suites alone ($codename and" \
    "$codename-updates of $mirror, without the security suite), through a temporary sources" \
    "list; the machine's own stays as it is" >&2
  # The package cache built from these indices is not kept either.
  fallback_options=(-o "Dir::Etc::sourcelist=$fallback_dir/main-suites.list"
    -o "Dir::Etc::sourceparts=$fallback_dir/parts" -o "Dir::State::Lists=$fallback_dir/lists"
    -o "Dir::Cache::pkgcache=" -o "Dir::Cache::srcpkgcache=")
}

# apt's error lines of its last call, on one line.
apt_errors() {
  local errors
  errors=$(grep -E '^E:' "$apt_log" | tail -n 3)
  [ -n "$errors" ] || errors=$(tail -n 2 "$apt_log")
  echo "$errors" | tr '\n' ' '
}

update_indices
install_missing && exit 0

main_suites_options
update_indices "${fallback_options[@]}" && install_missing "${fallback_options[@]}" && exit 0

{
  echo
  echo "install_packages: could not install ${missing[*]}. The package registry could not" \
    "be used, both with this machine's sources and with the main suites alone; apt's last" \
    "error was: $(apt_errors)" \
    "This is often temporary (a mirror being synced, or no network): wait a few minutes and" \
    "run the same command again. If it persists, check the network and the entries in" \
    "/etc/apt/sources.list and /etc/apt/sources.list.d/, or install the packages above with" \
    "apt-get install yourself and run the command again."
} >&2
exit 1
