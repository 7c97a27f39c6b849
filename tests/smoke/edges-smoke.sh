#!/usr/bin/env bash
# The command line's edges with the real executables: a relative --run-dir with "..", a reader of the reports that
# goes away, and the usage errors that must end with 2 and name the problem. Usage: edges-smoke.sh PAVENO DEMO_SITE
set -euo pipefail
paveno=$(realpath "$1")
site_program=$(realpath "$2")
work=$(mktemp -d)
source "$(dirname "$0")/demo-site.sh"
start_demo_site --books-per-category 30 --archive-bytes 2000

fail() { echo "smoke: $*"; cat "$work/out.txt" "$work/err.txt" 2>/dev/null; exit 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u PAVENO_CONNECT_TO timeout 120 "$paveno" "$@"; }

# "--run-dir ../lib" from a folder beside it: the library lands in $work/lib. The reader takes one line and goes:
# the run goes on to its end and its own status.
mkdir "$work/here"
set +e
(cd "$work/here" && headless --run-dir ../lib --connect-to "::127.0.0.1:$port" --collect 连载中/武侠仙侠 --delay 0 \
  2>"$work/err.txt" | head -1 >"$work/out.txt")
statuses=("${PIPESTATUS[@]}")
set -e
[ "${statuses[0]}" = 0 ] || fail "the run whose reader went away ended with ${statuses[0]}"
[ "$(ls "$work/lib/小说/连载中/武侠仙侠" | grep -c '\.rar$')" = 20 ] || fail "the run did not finish its page"
[ -s "$work/out.txt" ] || fail "nothing was read"

# Each mistake: 2, and the first line on standard error names it.
check_usage() {
  local word=$1
  shift
  local status=0
  headless "$@" >"$work/out.txt" 2>"$work/err.txt" || status=$?
  [ "$status" = 2 ] || fail "$* ended with $status"
  head -1 "$work/err.txt" | grep -q -- "$word" || fail "$* did not name $word"
}
check_usage --run-dir --run-dir "" --collect 连载中/武侠仙侠
check_usage --run-dir '--run-dir=a\b' --collect 连载中/武侠仙侠
check_usage --connect-to --connect-to garbage --collect 连载中/武侠仙侠
check_usage --collect --collect 连载中/武侠仙侠 --collect 完本/玄幻小说
check_usage --overwrite --collect 完本/玄幻小说 --overwrite
status=0
PAVENO_CONNECT_TO=garbage env -u DISPLAY -u WAYLAND_DISPLAY timeout 60 "$paveno" --run-dir "$work/lib" \
  --collect 连载中/武侠仙侠 >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 2 ] && grep -q PAVENO_CONNECT_TO "$work/err.txt" || fail "a bad PAVENO_CONNECT_TO ended with $status"
echo "smoke: a relative --run-dir, a reader that goes away and the usage errors"
