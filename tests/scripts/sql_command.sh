#!/usr/bin/env bash
# vorel_service sql: Table XML of a statement under the table name "sql", UTF-8 at the terminal and
# Windows-1251 bytes with --raw; a failed statement gives the closed-dataset error element; bad use exits 2.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
sqlcmd() { "$BUILD/vorel_service" sql "$@" 2>>"$WORK/log"; }

sqlcmd --path "$WORK" "create table m2401 (kw n(5), fiol c(10), dat d)" > /dev/null
sqlcmd --path "$WORK" "insert into m2401 values (12, 'Ёлкин', {^2026-12-15})" > /dev/null
got=$(sqlcmd --path "$WORK" "select kw, fiol, dat from m2401 where fiol='ЁЛКИН'" | od -An -c | tr -s ' ')
want=$(printf '<table name=sql>\r\n<field>kw;fiol;dat;</field>\r\n<data>\r\n12\tЁлкин\t15.12.2026\t\r\n</data>\r\n</table>\r\n' | od -An -c | tr -s ' ')
[[ "$got" == "$want" ]] || fail "select: $got"
raw=$(sqlcmd --raw --path "$WORK" "select fiol from m2401" | od -An -tx1 | tr -d ' \n')
[[ "$raw" == *"a8ebeae8ed"* ]] || fail "raw output is not Windows-1251: $raw"
failed=$(sqlcmd --path "$WORK" "select * FROM m2401 where kl=")
[[ "$failed" == *"<error>SQL: Cannot perform this operation on a closed dataset</error>"* ]] || fail "failed form: $failed"
grep -q "ERROR SQL: select \* FROM m2401 where kl=" "$WORK/log" || fail "no ERROR SQL line"
set +e
"$BUILD/vorel_service" sql --path "$WORK" > /dev/null 2>&1
[[ $? -eq 2 ]] || fail "missing statement not refused"
"$BUILD/vorel_service" sql --path "$WORK/none" "select * from m2401" > /dev/null 2>&1
[[ $? -eq 1 ]] || fail "missing folder not reported"
echo ok
