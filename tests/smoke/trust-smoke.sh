#!/usr/bin/env bash
# The real program against a demo site that misbehaves, as a user on a bad day meets it: failed archives, a full disk,
# a kill in the middle of a transfer, a second program on the same library, a site that cannot be reached. What the
# program says and how it ends must match what is on disk. Usage: trust-smoke.sh PAVENO DEMO_SITE
set -uo pipefail
paveno=$1
site_program=$2
work=$(mktemp -d)
sites=()
trap 'for s in "${sites[@]}"; do kill "$s" 2>/dev/null; done; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY

fail() { echo "trust-smoke: $*"; exit 1; }

# Starts a demo site with the given options (archives of 40000 bytes unless they say otherwise); its port goes to $port.
start_site() {
  local log=$work/site-$RANDOM.log
  "$site_program" --port 0 --books-per-category 25 --archive-bytes 40000 "$@" >"$log" 2>&1 &
  sites+=($!)
  for _ in $(seq 1 200); do
    grep -q 'listening on' "$log" && break
    sleep 0.05
  done
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
  [ -n "$port" ] || fail "the demo site did not start: $(cat "$log")"
}

# collect RUN_DIR PORT CATEGORY [more options]: runs a headless collection; its status goes to $status, its output to
# $log.out and $log.err ($log is the run folder unless set).
collect() {
  local dir=$1 p=$2 category=$3
  shift 3
  local to=${log:-$dir}
  "$paveno" --run-dir "$dir" --connect-to "::127.0.0.1:$p" --collect "$category" --pages 3 --delay 0 "$@" \
    >"$to.out" 2>"$to.err"
  status=$?
}

archives() { find "$1/小说/完本/玄幻小说" -name '*.rar' 2>/dev/null | wc -l; }
# Every archive under its final name is whole: the demo's archives are all of one size.
all_whole() {
  local size=$2
  [ -z "$(find "$1/小说" -name '*.rar' ! -size "${size}c" 2>/dev/null)" ]
}
index_keys() { cat "$1/小说/ini/小说.ini" 2>/dev/null | grep -c '\.rar'; }

# 1. Every fifth archive is a 404 page: 20 collected, 5 failed and recorded, exit 1; a rerun fills the gaps.
start_site --fail-archives 5
collect "$work/a" "$port" 完本/玄幻小说
[ "$status" = 1 ] || fail "failed books ended with $status"
grep -q '采集完成，共采集25篇小说，其中已存在0篇小说，本次成功采集20篇小说，失败5篇！是否查看文件？' "$work/a.out" ||
  fail "no truthful summary: $(tail -3 "$work/a.out")"
grep -q "^失败的小说及原因见：$work/a/小说/失败记录.txt\$" "$work/a.out" || fail "the summary does not name the record"
# Each failure is printed once, in the report of its book.
[ "$(grep -c '下载失败：服务器返回404' "$work/a.out")" = 5 ] || fail "failures printed more than once"
[ "$(archives "$work/a")" = 20 ] || fail "not 20 archives"
[ "$(index_keys "$work/a")" = 20 ] || fail "index keys for books that failed"
[ "$(iconv -f GBK -t UTF-8 "$work/a/小说/失败记录.txt" | grep -c '下载失败：服务器返回404')" = 5 ] || fail "failure record"
start_site
collect "$work/a" "$port" 完本/玄幻小说
[ "$status" = 0 ] || fail "the rerun ended with $status"
grep -q '共采集25篇小说，其中已存在20篇小说，本次成功采集5篇小说！' "$work/a.out" || fail "the rerun did not fill the gaps"
healthy=$port

# 2. A full disk, as a file size limit: no archive lands cut, no key points at a missing file, exit 1.
start_site --archive-bytes 100000
(trap '' XFSZ; ulimit -f 60; collect "$work/b" "$port" 完本/玄幻小说; exit $status)
status=$?
[ "$status" = 1 ] || fail "a full disk ended with $status"
grep -q '保存失败：磁盘已满' "$work/b.out" || fail "the full disk was not told"
[ "$(archives "$work/b")" = 0 ] || fail "archives were kept on a full disk"
[ "$(index_keys "$work/b")" = 0 ] || fail "index keys without archives"
[ -z "$(find "$work/b" -name '~paveno-*')" ] || fail "temporary files left behind"

# 3. Killed while an archive is half-sent: nothing cut under a final name; the next run finishes the library.
start_site --drip-archives 10
"$paveno" --run-dir "$work/c" --connect-to "::127.0.0.1:$port" --collect 完本/玄幻小说 --pages 3 --delay 0 \
  >"$work/c.out" 2>&1 &
victim=$!
for _ in $(seq 1 200); do
  [ "$(grep -c '^标题：' "$work/c.out")" -ge 9 ] && break
  sleep 0.05
done
sleep 1 # the tenth archive drips
kill -9 $victim
wait $victim 2>/dev/null
all_whole "$work/c" 40000 || fail "a cut archive was kept after the kill"
collect "$work/c" "$healthy" 完本/玄幻小说
[ "$status" = 0 ] || fail "the run after the kill ended with $status"
[ "$(archives "$work/c")" = 25 ] && all_whole "$work/c" 40000 || fail "the run after the kill left the library unfinished"

# 4. Two programs on one library: the second is refused while the first runs; every key of a finished run is kept.
start_site --latency-ms 30
log=$work/d1 collect "$work/d" "$port" 完本/玄幻小说 &
first=$!
for _ in $(seq 1 100); do
  [ -e "$work/d/缓存/玄幻小说/1.html" ] && break # the first run holds the lock on 小说 by then
  sleep 0.05
done
collect "$work/d" "$port" 完本/武侠小说
second=$status
wait $first
first=$?
if [ "$second" = 1 ]; then
  grep -q '书库正在被另一个采集使用' "$work/d.err" || fail "the second program was refused without saying why"
  [ "$first" = 0 ] && [ "$(index_keys "$work/d")" = 25 ] || fail "the first program lost keys ($first)"
else
  [ "$first" = 0 ] && [ "$second" = 0 ] && [ "$(index_keys "$work/d")" = 50 ] || fail "two runs lost keys"
fi

# 5. A site that cannot be reached: no summary, the reason on standard error, exit 1.
start_site --fail-pages 1
collect "$work/e" "$port" 完本/玄幻小说
[ "$status" = 1 ] || fail "an unreachable site ended with $status"
grep -q '无法连接网站：服务器返回500' "$work/e.err" || fail "the unreachable site was not told"
! grep -q '采集完成' "$work/e.out" || fail "an unreachable site was reported as a finished run"

echo "trust-smoke: failed archives, a full disk, a kill, two programs and an unreachable site all told as they are"
