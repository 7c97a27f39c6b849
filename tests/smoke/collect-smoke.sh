#!/usr/bin/env bash
# The real executables once, end to end: the demo site on a free port, `paveno --collect` against it on the offscreen
# platform, then a look at the library it left. Usage: collect-smoke.sh PAVENO DEMO_SITE
set -euo pipefail
paveno=$1
site_program=$2
work=$(mktemp -d)
log=$work/site.log
"$site_program" --port 0 --books-per-category 25 >"$log" 2>&1 &
site=$!
trap 'kill $site 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 1 100); do
  grep -q 'listening on' "$log" && break
  sleep 0.05
done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
[ -n "$port" ] || { echo "the demo site did not start"; cat "$log"; exit 1; }

QT_QPA_PLATFORM=offscreen "$paveno" --run-dir "$work/run" --connect-to "::127.0.0.1:$port" \
  --collect 连载中/武侠仙侠 --pages 3 --delay 0 >"$work/out.txt" 2>&1 || { cat "$work/out.txt"; exit 1; }

fail() { echo "smoke: $*"; cat "$work/out.txt"; exit 1; }
grep -q '采集完成，共采集25篇小说，其中已存在0篇小说，本次成功采集25篇小说！是否查看文件？' "$work/out.txt" || fail "no summary"
[ "$(ls "$work/run/小说/连载中/武侠仙侠" | grep -c '\.rar$')" = 25 ] || fail "not 25 archives"
[ "$(ls "$work/run/小说/jpg" | wc -l)" = 25 ] || fail "not 25 covers"
[ -s "$work/run/小说/ini/小说.ini" ] || fail "no library index"
[ ! -e "$work/run/缓存" ] || fail "the page cache was left behind"

# An unknown category is refused with 2.
status=0
QT_QPA_PLATFORM=offscreen "$paveno" --run-dir "$work/run" --collect 完本/没有这类 >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "an unknown category ended with $status"
echo "smoke: collected 25 books end to end"
