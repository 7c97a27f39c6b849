#!/usr/bin/env bash
# The timer and service that the package installs pass `systemd-analyze verify` as user units, with their ExecStart
# pointed at the built program: a misspelt key or value, a timer without its service, or a command that is not the
# program fails. systemd-analyze says nothing of a sound unit, so anything it says fails the test too.
# Usage: verify-user-units.sh PROGRAM UNIT_FOLDER        (exit 77: systemd-analyze is not installed)
set -euo pipefail
program=${1:?usage: verify-user-units.sh PROGRAM UNIT_FOLDER}
units=${2:?usage: verify-user-units.sh PROGRAM UNIT_FOLDER}
if ! command -v systemd-analyze >/dev/null; then
  echo "verify-user-units: systemd-analyze is not installed; skipped"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Only the program's own path changes; a unit that does not start /usr/bin/paveno --scheduled fails here.
grep -qx 'ExecStart=/usr/bin/paveno --scheduled' "$units/paveno-update.service" || {
  echo "verify-user-units: paveno-update.service does not run /usr/bin/paveno --scheduled" >&2
  exit 1
}
sed "s|^ExecStart=/usr/bin/paveno |ExecStart=$program |" "$units/paveno-update.service" >"$work/paveno-update.service"
cp "$units/paveno-update.timer" "$work/"

# A user manager of its own for the check: a runtime folder, and no manual pages looked up (the package installs
# paveno(1), a build tree does not).
mkdir -m 700 "$work/runtime"
status=0
said=$(XDG_RUNTIME_DIR="$work/runtime" systemd-analyze --user --man=no verify \
  "$work/paveno-update.service" "$work/paveno-update.timer" 2>&1) || status=$?
if [ "$status" -ne 0 ] || [ -n "$said" ]; then
  echo "verify-user-units: systemd-analyze verify (exit $status):" >&2
  echo "$said" >&2
  exit 1
fi
echo "verify-user-units: paveno-update.service and paveno-update.timer verify"
