#!/usr/bin/env bash
# /INSTALL and /UNINSTALL (any case, "/" or "-", with /SILENT) write and remove the systemd unit in
# $VOREL_UNIT_DIR and print the four messages.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
PROGRAM="$BUILD/vorel_service"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export VOREL_UNIT_DIR="$WORK/units"
export VOREL_STATE="$WORK/state.db"
export VOREL_SYSTEMCTL="$WORK/systemctl"  # used only where systemd runs
printf '#!/bin/sh\nexit 0\n' >"$VOREL_SYSTEMCTL"
chmod +x "$VOREL_SYSTEMCTL"
mkdir -p "$VOREL_UNIT_DIR"
UNIT="$VOREL_UNIT_DIR/VorelService.service"

fail() { echo "FAIL: $*" >&2; exit 1; }

out=$("$PROGRAM" /INSTALL)
[ "$(head -n 2 <<<"$out")" = $'Service installed successfully\nUnit file written: '"$UNIT" ] ||
  fail "install said '$out'"
[ -f "$UNIT" ] || fail "no unit file"
grep -qx 'Description=VorelServer - Запись через интернет' "$UNIT" || fail "description: $(cat "$UNIT")"
grep -qx "ExecStart=\"$PROGRAM\"" "$UNIT" || fail "ExecStart: $(cat "$UNIT")"
grep -qx "Environment=\"VOREL_STATE=$VOREL_STATE\"" "$UNIT" || fail "Environment: $(cat "$UNIT")"
grep -qx 'Restart=on-failure' "$UNIT" || fail "Restart: $(cat "$UNIT")"

status=0
err=$("$PROGRAM" -install 2>&1) || status=$?
[ "$status" = 1 ] || fail "second install exited $status"
[ "$err" = "Service \"VorelService\" failed to install with error: \"The unit file $UNIT exists already\"" ] ||
  fail "second install said '$err'"
status=0
err=$("$PROGRAM" -install /silent 2>&1) || status=$?
[ "$status" = 1 ] && [ -z "$err" ] || fail "silent failed install: status $status, '$err'"

out=$("$PROGRAM" -UnInstall)
[ "$(head -n 2 <<<"$out")" = $'Service uninstalled successfully\nUnit file removed: '"$UNIT" ] ||
  fail "uninstall said '$out'"
[ ! -e "$UNIT" ] || fail "unit file left"
status=0
err=$("$PROGRAM" /uninstall 2>&1) || status=$?
[ "$status" = 1 ] || fail "second uninstall exited $status"
[ "$err" = "Service \"VorelService\" failed to uninstall with error: \"The unit file $UNIT does not exist\"" ] ||
  fail "second uninstall said '$err'"

out=$("$PROGRAM" /SILENT /install)
[ -z "$out" ] && [ -f "$UNIT" ] || fail "silent install: '$out'"
out=$("$PROGRAM" /uninstall -SILENT)
[ -z "$out" ] && [ ! -e "$UNIT" ] || fail "silent uninstall: '$out'"

status=0
"$PROGRAM" /instal >/dev/null 2>&1 || status=$?
[ "$status" = 2 ] || fail "a misspelt switch exited $status"
echo "service install: ok"
