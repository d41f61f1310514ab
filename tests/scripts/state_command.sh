#!/usr/bin/env bash
# The operator's state commands: UTF-8 at the terminal, Windows-1251 in the store, --raw for the bytes.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
PROGRAM="$BUILD/vorel_service"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
export VOREL_STATE="$WORK/new/folder/state.db"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_status() {
  local want="$1"; shift
  local status=0
  "$@" >"$WORK/out" 2>"$WORK/err" || status=$?
  [ "$status" = "$want" ] || fail "'$*' exited $status: $(cat "$WORK/err")"
}

for readonly in "state get path" "state list" "state unset path"; do
  expect_status 1 "$PROGRAM" $readonly
  grep -q "$VOREL_STATE does not exist" "$WORK/err" || fail "'$readonly' on no store: $(cat "$WORK/err")"
done
[ ! -e "$WORK/new" ] || fail "a read-only command created the store's folder"

"$PROGRAM" state set path 'C:\Регистратура\data'
[ -f "$VOREL_STATE" ] || fail "store not created"
[ "$(stat -c %a "$VOREL_STATE")" = 600 ] || fail "store mode $(stat -c %a "$VOREL_STATE")"
[ "$("$PROGRAM" state get path)" = 'C:\Регистратура\data' ] || fail "get path"
"$PROGRAM" state get --raw path >"$WORK/raw"
[ "$(od -An -tx1 "$WORK/raw" | tr -d ' \n')" = "433a5cd0e5e3e8f1f2f0e0f2f3f0e05c64617461" ] ||
  fail "raw bytes $(od -An -tx1 "$WORK/raw")"

printf 'x\377y' >"$WORK/bytes"
"$PROGRAM" state set --raw bin "$(cat "$WORK/bytes")"
"$PROGRAM" state get --raw bin >"$WORK/back"
cmp -s "$WORK/bytes" "$WORK/back" || fail "raw round trip"

"$PROGRAM" state set id 42
expected=$'bin=x\xd1\x8fy\nid=42\npath=C:\\Регистратура\\data'
[ "$("$PROGRAM" state list)" = "$expected" ] || fail "list: $("$PROGRAM" state list)"

"$PROGRAM" state set --raw log_x $'10:00 Go.\r\n10:01 End.\r\n'
expect_status 0 "$PROGRAM" state list
grep -qx 'log_x=\[2 lines, 23 bytes\] 10:01 End.' "$WORK/out" || fail "list summary: $(cat "$WORK/out")"
expect_status 0 "$PROGRAM" state list --full
[ "$(grep -c '10:0.' "$WORK/out")" = 2 ] || fail "list --full: $(cat "$WORK/out")"
"$PROGRAM" state unset log_x

expect_status 1 "$PROGRAM" state set note 'Ёлка 中文'
grep -q "Windows-1251 cannot hold" "$WORK/err" || fail "unencodable value: $(cat "$WORK/err")"
for name in "" "two words" $'tab\tname' $'bell\a'; do
  expect_status 1 "$PROGRAM" state set "$name" x
  grep -q "value name" "$WORK/err" || fail "name '$name': $(cat "$WORK/err")"
done
[ "$("$PROGRAM" state list)" = "$expected" ] || fail "a refused set stored something"

expect_status 0 "$PROGRAM" state get absent
[ ! -s "$WORK/out" ] || fail "absent value printed something"
expect_status 0 "$PROGRAM" state unset id
[ -z "$("$PROGRAM" state get id)" ] || fail "unset"

for bad in "state" "state get" "state set x" "state frob" "state unset --raw x" "state list extra"; do
  expect_status 2 "$PROGRAM" $bad
  grep -q "usage:" "$WORK/err" || fail "'$bad' gave no usage"
done

touch "$WORK/file"
VOREL_STATE="$WORK/file/s.db" expect_status 1 "$PROGRAM" state get path
grep -q "$WORK/file" "$WORK/err" || fail "open failure: $(cat "$WORK/err")"
echo "state command: ok"
