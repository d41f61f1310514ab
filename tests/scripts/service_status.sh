#!/usr/bin/env bash
# vorel_service status as a monitoring agent runs it (as a user who cannot read the store): exit status
# and first line of the monitoring plugins for a service that never ran, runs well, loses its portal, stops,
# cannot open its tables or was killed; the service's lines for the journal; one service per store.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
PROGRAM="$BUILD/vorel_service"
WORK="$(mktemp -d)"
chmod 711 "$WORK"
export VOREL_STATE="$WORK/state/clinic.db"
service_pid=""
portal_pid=""
cleanup() {
  for pid in $service_pid $portal_pid; do kill -9 "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  [ -f "$WORK/journal" ] && sed "s/^/journal: /" "$WORK/journal" >&2
  cat "$WORK"/state/*.status >&2 || true
  "$PROGRAM" state get log_global | tail -n 5 >&2 || true
  exit 1
}

# The monitoring agent's own user where this runs as root; the same program otherwise.
as_monitor() {
  if [ "$(id -u)" = 0 ]; then setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; else "$@"; fi
}
# Waits up to 15 s for `status` (with the arguments given) to exit with the status and first line wanted.
expect_status() {
  local want=$1 line=$2 got=0
  shift 2
  for _ in $(seq 1 150); do
    got=0
    as_monitor "$PROGRAM" status "$@" >"$WORK/status" 2>&1 || got=$?
    [ "$got" = "$want" ] && [[ "$(head -n 1 "$WORK/status")" == "$line"* ]] && return 0
    sleep 0.1
  done
  [ "$got" = "$want" ] || fail "status exited $got, not $want: $(cat "$WORK/status")"
  [[ "$(head -n 1 "$WORK/status")" == "$line"* ]] || fail "status said: $(cat "$WORK/status")"
}
start_service() {
  "$PROGRAM" 2>>"$WORK/journal" &
  service_pid=$!
}

"$BUILD/vorel_sample_clinic" "$WORK/clinic" >/dev/null
"$BUILD/vorel_portal" --hold-ms 200 --quiet </dev/null >"$WORK/portal.log" 2>&1 &
portal_pid=$!
for _ in $(seq 1 100); do grep -q PORTAL_URL "$WORK/portal.log" && break; sleep 0.05; done
port=$(sed -n 's|^PORTAL_URL=http://127.0.0.1:\([0-9]*\)/|\1|p' "$WORK/portal.log")
[ -n "$port" ] || fail "the portal simulator did not start"

expect_status 2 "VOREL CRITICAL - not running (it has never run on the state store $VOREL_STATE)"
"$PROGRAM" state set path "$WORK/clinic"
"$PROGRAM" state set id 15
"$PROGRAM" state set pass secret
"$PROGRAM" state set portal_host "127.0.0.1:$port"
[ "$(stat -c %a "$VOREL_STATE")" = 600 ] || fail "the store is readable by others"

start_service
expect_status 0 "VOREL OK - running, the portal answered"
grep -q "^clinic folder:  $WORK/clinic (tables open)$" "$WORK/status" || fail "details: $(cat "$WORK/status")"
if [ "$(id -u)" = 0 ]; then
  as_monitor "$PROGRAM" state get pass >/dev/null 2>&1 && fail "the monitoring user read the password"
fi
grep -qx "<6>started: clinic folder $WORK/clinic, portal http://127.0.0.1:$port/medic/server.php" "$WORK/journal" ||
  fail "no start line"

status=0
"$PROGRAM" 2>"$WORK/second" || status=$?
[ "$status" = 1 ] && grep -q "Another process (pid $service_pid) runs the service on this state store" "$WORK/second" ||
  fail "a second service on the store: status $status, $(cat "$WORK/second")"

kill -TERM "$portal_pid"
wait "$portal_pid" || true
portal_pid=""
expect_status 1 "VOREL WARNING - the portal has not answered for" --warning 1
grep -q "^<4>no answer from the portal at http://127.0.0.1:$port/medic/server.php$" "$WORK/journal" ||
  fail "no line for the silent portal"

kill -TERM "$service_pid"
wait "$service_pid" || fail "the service stopped with an error"
service_pid=""
expect_status 2 "VOREL CRITICAL - not running"
grep -q "(stopped)$" "$WORK/status" && grep -qx "<6>stopped" "$WORK/journal" || fail "stop not reported"

"$PROGRAM" state set path "$WORK/none"
start_service
expect_status 2 "VOREL CRITICAL - the tables in $WORK/none cannot be opened"
grep -q "^<2>critical error: .* (the tables in $WORK/none cannot be opened: " "$WORK/journal" ||
  fail "no critical error line"

kill -9 "$service_pid"
wait "$service_pid" 2>/dev/null || true
service_pid=""
expect_status 2 "VOREL CRITICAL - not running"
grep -q "(ended without a stop)$" "$WORK/status" || fail "a killed service: $(cat "$WORK/status")"

expect_status 3 "VOREL UNKNOWN - usage: vorel_service status [--warning SECONDS]" --warning
echo "service status: ok"
