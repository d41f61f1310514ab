#!/usr/bin/env bash
# vorel_service sql: Table XML of a query under the table name "sql", UTF-8 at the terminal and
# Windows-1251 bytes with --raw; a write says how many records it changed; a failed statement gives the
# engine's reason and exit status 1; bad use exits 2.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
sqlcmd() { "$BUILD/vorel_service" sql "$@" 2>>"$WORK/log"; }
# Runs a statement that must fail with status 1 and the reason on standard error.
refused() {
  local reason=$1 out status=0
  shift
  out=$("$BUILD/vorel_service" sql --path "$WORK" "$1" 2>"$WORK/err") || status=$?
  [[ $status -eq 1 && -z "$out" ]] || fail "'$1' exited $status with '$out'"
  grep -q "^vorel_service sql: .*$reason" "$WORK/err" || fail "'$1' said: $(cat "$WORK/err")"
}

sqlcmd --path "$WORK" "create table m2401 (kw n(5), fiol c(10), dat d)" > /dev/null
sqlcmd --path "$WORK" "insert into m2401 values (12, 'Ёлкин', {^2026-12-15})" > /dev/null
sqlcmd --path "$WORK" "insert into m2401 values (13, 'Попов', {^2026-12-16})" > /dev/null
got=$(sqlcmd --path "$WORK" "select kw, fiol, dat from m2401 where fiol='ЁЛКИН'" | od -An -c | tr -s ' ')
want=$(printf '<table name=sql>\r\n<field>kw;fiol;dat;</field>\r\n<data>\r\n12\tЁлкин\t15.12.2026\t\r\n</data>\r\n</table>\r\n' | od -An -c | tr -s ' ')
[[ "$got" == "$want" ]] || fail "select: $got"
raw=$(sqlcmd --raw --path "$WORK" "select fiol from m2401" | od -An -tx1 | tr -d ' \n')
[[ "$raw" == *"a8ebeae8ed"* ]] || fail "raw output is not Windows-1251: $raw"

refused "position 30" "select * FROM m2401 where kw="
refused "Column 'kl' is not found" "select kl from m2401"
refused "Column 'nope' is not found" "update m2401 set nope=1"
[[ "$(sqlcmd --path "$WORK" "update m2401 set kw=kw+1 where kw>0")" == "2 records changed" ]] || fail "update count"
[[ "$(sqlcmd --path "$WORK" "delete from m2401 where kw=14")" == "1 record changed" ]] || fail "delete count"
sqlcmd --path "$WORK" "index on kw tag kw of m2401" > "$WORK/out" || fail "index on failed"
[[ "$(cat "$WORK/out")" == *"records changed" ]] || fail "index on said $(cat "$WORK/out")"
[[ "$(sqlcmd --path "$WORK" "select kw from m2401" | grep -c $'^[0-9]*\t')" == 1 ]] || fail "rows after writes"
set +e
"$BUILD/vorel_service" sql --path "$WORK" > /dev/null 2>&1
[[ $? -eq 2 ]] || fail "missing statement not refused"
"$BUILD/vorel_service" sql --path "$WORK/none" "select * from m2401" > /dev/null 2>&1
[[ $? -eq 1 ]] || fail "missing folder not reported"
echo ok
