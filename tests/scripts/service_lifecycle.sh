#!/usr/bin/env bash
# The service program in the foreground: it starts at once, writes its start values, stops on SIGTERM or
# SIGINT with "service_stop" written and exit status 0, and reports a failed start.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
PROGRAM="$BUILD/vorel_service"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export VOREL_STATE="$WORK/state/state.db"

fail() { echo "FAIL: $*" >&2; exit 1; }
value() { "$PROGRAM" state get --raw "$1"; }

# Starts the service, waits for its start values, sends the signal and checks the orderly end.
run_and_stop() {
  local signal="$1"
  "$PROGRAM" state set service_stop "" >/dev/null
  "$PROGRAM" state set service_start "" >/dev/null
  "$PROGRAM" >"$WORK/out" 2>"$WORK/err" &
  local pid=$!
  for _ in $(seq 1 200); do
    [ -n "$(value service_start)" ] && break
    sleep 0.05
  done
  [ -n "$(value service_start)" ] || fail "no service_start written"
  [ "$(value version)" = 620 ] || fail "version is '$(value version)'"
  [ "$(value service_path)" = "$BUILD/" ] || fail "service_path is '$(value service_path)'"
  [ "$(value service_stop)" = "" ] || fail "service_stop written before the stop"
  kill -s "$signal" "$pid"
  local status=0
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$pid" 2>/dev/null && { kill -9 "$pid"; fail "still running 10 s after SIG$signal"; }
  wait "$pid" || status=$?
  [ "$status" = 0 ] || fail "exit status $status after SIG$signal: $(cat "$WORK/err")"
  [[ "$(value service_stop)" =~ ^[0-9]{2}\.[0-9]{2}\.[0-9]{4}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}$ ]] ||
    fail "service_stop is '$(value service_stop)'"
}

"$PROGRAM" state set path /data/clinic >/dev/null
run_and_stop TERM
run_and_stop INT
[ "$(value path)" = /data/clinic ] || fail "path lost"
[ "$(value error_msg | iconv -f CP1251 -t UTF-8)" = "Не обнаружено" ] || fail "error_msg not set"

# A stop that comes after the first tick of Timer1 ends the process just as well.
"$PROGRAM" state set service_start "" >/dev/null
"$PROGRAM" 2>"$WORK/err" &
pid=$!
sleep 3.5
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
[ "$status" = 0 ] || fail "exit status $status after a tick: $(cat "$WORK/err")"

# A store that cannot be opened fails the start with the framework's text and a non-zero status.
touch "$WORK/file"
status=0
VOREL_STATE="$WORK/file/state.db" "$PROGRAM" >"$WORK/out" 2>"$WORK/err" || status=$?
[ "$status" != 0 ] || fail "a failed start exited 0"
grep -q "^Service failed on start: .*$WORK/file" "$WORK/err" || fail "start failure text: $(cat "$WORK/err")"

echo "service lifecycle: ok"
