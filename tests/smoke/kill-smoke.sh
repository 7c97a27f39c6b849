#!/usr/bin/env bash
# Killed (SIGKILL) at random moments while collecting into a library whose index already holds 100,000 books: after
# every kill the index is whole (CR LF lines), holds every old key as it was, and each key of a collected book points
# to a whole archive, once; a last run completes the category. Usage: kill-smoke.sh PAVENO DEMO_SITE [SEED]
set -uo pipefail
paveno=$1
site_program=$2
seed=${3:-$$}
RANDOM=$seed
books=40
work=$(mktemp -d)
site=
trap '[ -n "$site" ] && kill "$site" 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
unset http_proxy https_proxy all_proxy HTTP_PROXY HTTPS_PROXY ALL_PROXY

fail() {
  echo "kill-smoke (seed $seed): $*"
  exit 1
}

"$site_program" --port 0 --books-per-category $books --archive-bytes 40000 >"$work/site.log" 2>&1 &
site=$!
for _ in $(seq 1 200); do
  grep -q 'listening on' "$work/site.log" && break
  sleep 0.05
done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/site.log")
[ -n "$port" ] || fail "the demo site did not start: $(cat "$work/site.log")"

run=$work/run
index=$run/小说/ini/小说.ini
mkdir -p "$run/小说/ini"
old_keys=100000
# The old keys are other books' (ASCII names: only their bytes matter); the section is [小说] in GBK.
awk -v n=$old_keys 'BEGIN {
  printf "[\320\241\313\265]\r\n"
  for (i = 0; i < n; i++) printf "old%06d=D:\\old\\library\\old%06d.rar\r\n", i, i
}' >"$index"
cp "$index" "$work/old.ini"

collect() {
  exec "$paveno" --run-dir "$run" --connect-to "::127.0.0.1:$port" --collect 完本/玄幻小说 --pages 2 --delay 0 \
    >"$work/out.txt" 2>&1
}

# check WHEN: the index after a kill or a run; $new_keys is then the number of books it names.
check() {
  [ "$(tail -c 2 "$index" | od -An -tx1 | tr -d ' \n')" = 0d0a ] || fail "$1: the index ends inside a line"
  cmp -s -n "$(stat -c %s "$work/old.ini")" "$work/old.ini" "$index" || fail "$1: an old key is not as it was"
  tail -n +$((old_keys + 2)) "$index" | iconv -f GBK -t UTF-8 | tr -d '\r' >"$work/new.txt" ||
    fail "$1: the new lines are no GBK"
  while IFS= read -r line; do
    case $line in
    ?*=*.rar) ;;
    *) fail "$1: not a key of an archive: $line" ;;
    esac
    local path=${line#*=}
    path=${path//\\//}
    [ -f "$path" ] && [ "$(stat -c %s "$path")" = 40000 ] || fail "$1: $line points to no whole archive"
  done <"$work/new.txt"
  [ -z "$(cut -d= -f1 "$work/new.txt" | sort | uniq -d)" ] || fail "$1: a key written twice"
  new_keys=$(wc -l <"$work/new.txt")
}

# Kills at random moments: while the program starts and reads the index, while archives come in, while records are
# written: after a random number of books of the run has been reported, and a random few milliseconds more. A run
# that ends before its kill is checked all the same.
for round in 1 2 3 4 5; do
  reported=$((RANDOM % books))
  ms=$((RANDOM % 40))
  (collect) &
  victim=$!
  for _ in $(seq 1 1000); do
    [ "$(grep -c '^标题：' "$work/out.txt" 2>/dev/null)" -ge $reported ] && break
    kill -0 $victim 2>/dev/null || break
    sleep 0.01
  done
  sleep "0.$(printf %03d $ms)"
  kill -9 $victim 2>/dev/null
  wait $victim 2>/dev/null
  check "kill $round after $reported books and $ms ms"
  echo "kill $round after $reported books and $ms ms: $new_keys books in the index"
done

(collect) || fail "the run after the kills ended with $?: $(tail -3 "$work/out.txt")"
grep -q "采集完成，共采集${books}篇小说" "$work/out.txt" || fail "no summary: $(tail -3 "$work/out.txt")"
check "the last run"
[ "$new_keys" = $books ] || fail "the last run left $new_keys of $books books in the index"
[ -z "$(find "$run" -name '~paveno-*')" ] || fail "temporary files left behind"
echo "kill-smoke: 5 kills into an index of $old_keys keys, the index whole and the category completed"
