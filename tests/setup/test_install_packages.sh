#!/usr/bin/env bash
# tools/install_packages.sh through a registry that cannot be used, without the network and
# without touching the machine's apt set-up: for this run apt reads a sources list that
# cannot be fetched and keeps its indices in a folder of the test's own, takes no lock and
# keeps no cache, and the fallback's mirror is a folder that does not exist. The package
# asked for does not exist either, so nothing can be installed.
# Expected: the index update retried with back-off, the one fallback to the main suites
# alone, and the closing paragraph with what is missing and apt's error; exit status 1;
# the machine's apt configuration as it was, and every apt-get call kept to the folders it
# was given: the test's own, which stand for the machine's, and the fallback's temporary
# ones. (The machine's indices are not compared: apt's daily timer may update them meanwhile,
# and the script can reach them only through such a call.)
set -uo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/tools/install_packages.sh"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: the script installs only as root"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/parts" "$work/lists/partial" "$work/bin"
echo "deb file:$work/unreachable/debian bookworm main" >"$work/sources.list"
missing=sliverdisk-no-such-package
# apt-get notes each call's arguments, then runs as it would.
printf '#!/bin/sh\necho "$*" >>"%s/apt-calls"\nexec /usr/bin/apt-get "$@"\n' "$work" >"$work/bin/apt-get"
chmod +x "$work/bin/apt-get"

machine_state() {
  find /etc/apt -printf '%p %s %T@\n' 2>/dev/null | sort | md5sum
  dpkg --print-foreign-architectures
}
before=$(machine_state)
output=$(PATH="$work/bin:$PATH" SLIVERDISK_PACKAGES="$missing" SLIVERDISK_APT_BACKOFF=0 \
  SLIVERDISK_APT_MIRROR="file:$work/unreachable-mirror/debian" \
  SLIVERDISK_APT_OPTIONS="-o Dir::Etc::sourcelist=$work/sources.list -o Dir::Etc::sourceparts=$work/parts -o Dir::State::Lists=$work/lists -o Debug::NoLocking=true -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=" \
  timeout 120 bash "$script" 2>&1)
status=$?
after=$(machine_state)

source "$(dirname "$0")/expect.sh"
has() { grep -qF -- "$1" <<<"$output"; }
count() { grep -cF -- "$1" <<<"$output"; }
# The value a call gave an apt option last (apt takes the last one).
used() { grep -o -- "$1=[^ ]*" <<<"$2" | tail -n 1 | cut -d= -f2-; }
# Calls with the test's sources list keep to the test's index folder; the others (the
# fallback's) to folders that are neither the test's nor the machine's.
calls_keep_to_their_folders() {
  local call lists sources fallback_calls=0
  while read -r call; do
    lists=$(used Dir::State::Lists "$call")
    sources=$(used Dir::Etc::sourcelist "$call")
    if [ "$sources" = "$work/sources.list" ]; then
      [ "$lists" = "$work/lists" ] && continue
    else
      fallback_calls=$((fallback_calls + 1))
      [ -n "$lists" ] && [ "$lists" != "$work/lists" ] && [[ "$lists" != /var/lib/apt* ]] &&
        [ -n "$sources" ] && [[ "$sources" != /etc/apt* ]] && continue
    fi
    echo "  this call strays: apt-get $call"
    return 1
  done <"$work/apt-calls"
  [ "$fallback_calls" -gt 0 ]
}

echo "--- output of install_packages.sh (status $status) ---"
echo "$output"
echo "---"
expect "exit status 1" [ "$status" -eq 1 ]
expect "each of the two updates retried twice" [ "$(count "trying again in 0 s")" -eq 4 ]
expect "retries counted" has "the index update failed (attempt 2 of 3)"
expect "one fallback, to the main suites alone" [ "$(count "trying once more against the main suites alone")" -eq 1 ]
expect "the fallback names its suites and mirror" \
  has "bookworm and bookworm-updates of file:$work/unreachable-mirror/debian, without the security suite"
expect "the fallback reached apt with its own sources list" has "unreachable-mirror/debian bookworm"
expect "the closing paragraph says what is missing" has "could not install $missing."
expect "the closing paragraph quotes apt's error" has "apt's last error was: E: "
expect "the closing paragraph says what to do" has "run the same command again"
expect "the machine's apt configuration is as it was" [ "$before" = "$after" ]
expect "every apt-get call kept to its own index folder and sources list" calls_keep_to_their_folders
all_passed
