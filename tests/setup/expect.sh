# Shared by the set-up scripts' tests: source it, check with `expect`, end with `all_passed`.
#   expect DESCRIPTION COMMAND...  - prints "ok:" or "FAILED:" and counts the failures
#   all_passed                     - true when nothing failed
failures=0
expect() {
  local what=$1
  shift
  if "$@"; then
    echo "ok: $what"
  else
    echo "FAILED: $what"
    failures=$((failures + 1))
  fi
}
all_passed() { [ "$failures" -eq 0 ]; }
