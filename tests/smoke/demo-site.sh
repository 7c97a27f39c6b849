# Sourced by the smoke scripts. start_demo_site OPTIONS...: starts $site_program on a free port with the options,
# its log in $work/site.log, stopped (and $work removed) when the script ends; sets $site and $port.
start_demo_site() {
  local log=$work/site.log
  "$site_program" --port 0 "$@" >"$log" 2>&1 &
  site=$!
  trap 'kill $site 2>/dev/null || true; rm -rf "$work"' EXIT
  for _ in $(seq 1 100); do
    grep -q 'listening on' "$log" && break
    sleep 0.05
  done
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$log")
  [ -n "$port" ] || { echo "the demo site did not start"; cat "$log"; exit 1; }
}
