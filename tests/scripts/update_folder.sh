#!/usr/bin/env bash
# VOREL_UPDATE_FOLDER: the service runs the portal's program kept there while it is newer than the installed
# one, and the installed one otherwise; operator commands always run as installed.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
WORK="$(mktemp -d)"
service_pid=""
cleanup() {
  if [[ -n "$service_pid" ]]; then
    kill -TERM "$service_pid" 2> /dev/null || true
    wait "$service_pid" 2> /dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export VOREL_STATE="$WORK/state.db"
export VOREL_UPDATE_FOLDER="$WORK/update"
mkdir -p "$VOREL_UPDATE_FOLDER"
update="$VOREL_UPDATE_FOLDER/vorel_service"
printf '#!/bin/sh\necho "ran with [$*]" > "%s"\n' "$WORK/ran" > "$update"
chmod +x "$update"

# Newer: the service run becomes the update, with no arguments.
touch -d '+1 hour' "$update"
"$BUILD/vorel_service"
[[ "$(cat "$WORK/ran" 2> /dev/null)" == "ran with []" ]] || fail "the newer update did not run"
rm -f "$WORK/ran"
"$BUILD/vorel_service" state set probe 1 > /dev/null
[[ ! -e "$WORK/ran" ]] || fail "an operator command ran the update"

# Older than the installed program: the installed one runs the service.
touch -d '2000-01-01' "$update"
"$BUILD/vorel_service" > "$WORK/out" 2>&1 &
service_pid=$!
for _ in $(seq 100); do
  [[ -n "$("$BUILD/vorel_service" state get service_start 2> /dev/null)" ]] && break
  sleep 0.1
done
[[ -n "$("$BUILD/vorel_service" state get service_start)" ]] || fail "the installed program did not start"
[[ ! -e "$WORK/ran" ]] || fail "an older update ran"
echo "update folder: ok"
