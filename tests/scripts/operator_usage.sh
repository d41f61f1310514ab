#!/usr/bin/env bash
# --help of both programs names every command, option, setting and environment variable; --version prints
# the version; wrong usage exits 2.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
WORK="$(mktemp -d)"
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
status_of() { local s=0; "$@" >"$WORK/out" 2>"$WORK/err" || s=$?; echo "$s"; }

[ "$(status_of "$BUILD/vorel_service" --help)" = 0 ] || fail "--help failed"
for word in /INSTALL /UNINSTALL /SILENT "state list [--full]" "state get [--raw] NAME" "state set [--raw] NAME VALUE" \
  "state unset NAME" "sql [--raw] --path DIR STATEMENT" "dbcheck --path DIR [TABLE]" --version \
  path "id, pass" server_url portal_host update_host "proxy, proxyport" "proxylogin, proxypass" \
  "audit [--since YYYYMMDD] [--slot KW YYYYMMDD HH:MM] [--patient KL] [--json]" audit_days \
  VOREL_STATE VOREL_UNIT_DIR VOREL_SYSTEMCTL "2 wrong usage"; do
  grep -qF -- "$word" "$WORK/out" || fail "--help does not mention '$word'"
done
[ "$("$BUILD/vorel_service" --version)" = "vorel_service 620" ] || fail "--version"
for bad in "--frob" "/install --help" "--version x"; do
  [ "$(status_of "$BUILD/vorel_service" $bad)" = 2 ] || fail "'$bad' did not exit 2"
  grep -q -- "--help lists" "$WORK/err" || fail "'$bad' said: $(cat "$WORK/err")"
done
for bad in "audit --frob" "audit --since 2026" "audit --slot 1203 20261215" "audit --slot 1203 20261215 1130"; do
  [ "$(status_of "$BUILD/vorel_service" $bad)" = 2 ] || fail "'$bad' did not exit 2"
  grep -q -- "usage: vorel_service audit" "$WORK/err" || fail "'$bad' said: $(cat "$WORK/err")"
done
[ "$(VOREL_STATE="$WORK/none.db" status_of "$BUILD/vorel_service" audit)" = 1 ] || fail "audit without a store"

[ "$(status_of "$BUILD/vorel_portal" --help)" = 0 ] || fail "portal --help failed"
for word in --port --hold-ms --idle-reply --columns --queue --quiet /api/command /api/stats; do
  grep -qF -- "$word" "$WORK/out" || fail "portal --help does not mention '$word'"
done
for bad in "--frob" "--port" "--port x" "--hold-ms -5"; do
  [ "$(status_of "$BUILD/vorel_portal" $bad)" = 2 ] || fail "portal '$bad' did not exit 2"
done
echo "operator usage: ok"
