# Sourced by the end-to-end scripts: start_simulator PROGRAM ARGS... starts the portal simulator with its output
# in $WORK/portal.log and sets portal_pid, url (its address) and hostport (the portal_host setting). The
# caller's `fail` reports a simulator that did not start; its cleanup stops portal_pid.
start_simulator() {
  "$@" < /dev/null > "$WORK/portal.log" 2>&1 &
  portal_pid=$!
  for _ in $(seq 100); do grep -q '^PORTAL_URL=' "$WORK/portal.log" 2>/dev/null && break; sleep 0.05; done
  url=$(sed -n 's/^PORTAL_URL=//p' "$WORK/portal.log")
  [[ -n "$url" ]] || fail "the simulator did not start"
  hostport=${url#http://}
  hostport=${hostport%/}
}
