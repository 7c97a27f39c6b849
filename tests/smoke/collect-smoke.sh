#!/usr/bin/env bash
# The real executables once, end to end: the demo site on a free port, `paveno --collect` against it without a display
# (the program takes a platform without a desktop itself), then a look at the library it left and at what it printed; and the
# command line's answers that end before any window: --help, --version, no desktop. Usage: collect-smoke.sh PAVENO DEMO_SITE
set -euo pipefail
paveno=$1
site_program=$2
work=$(mktemp -d)
source "$(dirname "$0")/demo-site.sh"
start_demo_site --books-per-category 25

fail() { echo "smoke: $*"; cat "$work/out.txt" "$work/err.txt" 2>/dev/null; exit 1; }
headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 "$paveno" "$@"; }

headless --run-dir "$work/run" --connect-to "::127.0.0.1:$port" --collect 连载中/武侠仙侠 --pages 3 --delay 0 \
  >"$work/out.txt" 2>"$work/err.txt" || fail "the headless run failed"
# A good run says nothing on standard error: no platform warnings. Its lines end in LF alone.
[ ! -s "$work/err.txt" ] || fail "the headless run wrote to standard error"
! grep -q $'\r' "$work/out.txt" || fail "a CR in the headless run's output"
grep -q '采集完成，共采集25篇小说，其中已存在0篇小说，本次成功采集25篇小说！是否查看文件？' "$work/out.txt" || fail "no summary"
[ "$(ls "$work/run/小说/连载中/武侠仙侠" | grep -c '\.rar$')" = 25 ] || fail "not 25 archives"
[ "$(ls "$work/run/小说/jpg" | wc -l)" = 25 ] || fail "not 25 covers"
[ -s "$work/run/小说/ini/小说.ini" ] || fail "no library index"
[ ! -e "$work/run/缓存" ] || fail "the page cache was left behind"

# A rerun finds every book present, as on a real site: the demo's archives are above the 300000 bytes from which a
# serialised book counts as present. It runs with the DISPLAY of a desktop that is gone, as a scheduled run may
# inherit one: a collection shows no window and needs none.
env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:97 timeout 60 "$paveno" --run-dir "$work/run" \
  --connect-to "::127.0.0.1:$port" --collect 连载中/武侠仙侠 --pages 3 --delay 0 \
  >"$work/out.txt" 2>"$work/err.txt" || fail "the rerun failed"
grep -q '采集完成，共采集25篇小说，其中已存在25篇小说，本次成功采集0篇小说！是否查看文件？' "$work/out.txt" ||
  fail "the rerun did not find the books present"

# An unknown category is refused with 2.
status=0
QT_QPA_PLATFORM=offscreen "$paveno" --run-dir "$work/run" --collect 完本/没有这类 >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "an unknown category ended with $status"

# What ends before any window: the usage and the version on standard output with 0; without a desktop and without
# --collect, a word on standard error and 2 instead of a program that waits unseen for ever.
status=0
headless --help >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 0 ] || fail "--help ended with $status"
for word in --library --run-dir --connect-to PAVENO_CONNECT_TO --collect --pages --delay --overwrite --version \
  'exit status'; do
  grep -q -- "$word" "$work/out.txt" || fail "--help says nothing of $word"
done
status=0
headless --version >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 0 ] && grep -qx 'paveno 1170' "$work/out.txt" || fail "--version ended with $status"
status=0
headless --run-dir "$work/run" >"$work/out.txt" 2>"$work/err.txt" || status=$?
[ "$status" = 2 ] && grep -q desktop "$work/err.txt" || fail "without a desktop the program ended with $status"
echo "smoke: collected 25 books end to end, and found them present on a rerun; --help, --version and no desktop end at once"
