#!/usr/bin/env bash
# vorel_service dbcheck: every table and index tag of a folder checked, exit status 1 when anything is wrong;
# --repair rebuilds a damaged index and says what it changed.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
PROGRAM="$BUILD/vorel_service"
SOURCE="$(cd "$(dirname "$0")/../.." && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

cp "$SOURCE"/tests/fixtures/vfp/LICENSE-infused-dbf.txt "$SOURCE"/tests/fixtures/vfp/foxprodb/calls.* \
  "$SOURCE"/tests/fixtures/vfp/foxprodb/setup.* "$WORK/"
chmod u+w "$WORK"/*

"$PROGRAM" dbcheck --path "$WORK" >"$WORK/out" || fail "clean folder: $(cat "$WORK/out")"
grep -q '^calls: ok (16 records, 2 index tags)$' "$WORK/out" || fail "calls line: $(cat "$WORK/out")"
grep -q '^setup: ok' "$WORK/out" || fail "setup line: $(cat "$WORK/out")"

# CALL_ID of record 1 changed in the table only (record 1 starts at the header length, field at byte 1).
header=$(od -An -tu2 -j8 -N2 "$WORK/calls.dbf" | tr -d ' ')
printf '\143' | dd of="$WORK/calls.dbf" bs=1 seek=$((header + 1)) conv=notrunc status=none
status=0
"$PROGRAM" dbcheck --path "$WORK" calls >"$WORK/out" || status=$?
[ "$status" = 1 ] || fail "damaged table gave status $status"
grep -q 'tag CALL_ID: record 1 has no entry' "$WORK/out" || fail "report: $(cat "$WORK/out")"

"$PROGRAM" dbcheck --repair --path "$WORK" calls >"$WORK/out" || fail "repair: $(cat "$WORK/out")"
for line in '^calls: found: tag CALL_ID: record 1 has no entry' "^calls: the index as it was is kept in $WORK/calls.CDX.BAK\$" \
  '^calls: tag CALL_ID rebuilt with 16 entries: 1 entry removed, 1 entry added$' \
  '^calls: tag CONTACT_ID rebuilt with 16 entries, the same as before$' '^calls: ok (16 records, 2 index tags)$'; do
  grep -q "$line" "$WORK/out" || fail "repair report lacks $line: $(cat "$WORK/out")"
done
"$PROGRAM" dbcheck --path "$WORK" calls >/dev/null || fail "repaired table does not check"

status=0
"$PROGRAM" dbcheck --repair --path "$WORK" >"$WORK/out" 2>&1 || status=$?
[ "$status" = 2 ] || fail "--repair without a table gave status $status"
status=0
"$PROGRAM" dbcheck >"$WORK/out" 2>&1 || status=$?
[ "$status" = 2 ] || fail "missing --path gave status $status"
echo "dbcheck ok"
