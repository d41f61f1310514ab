#!/usr/bin/env bash
# The README's part for the clinic's IT person stays complete: every error text the service writes has its
# line in the troubleshooting table, the share is never mounted with nobrl, and the first runs (the Debian
# package, the Windows installer) end with `status`.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../.." && pwd)"
README="$ROOT/README.md"
fail() { echo "FAIL: $*" >&2; exit 1; }

troubleshooting=$(sed -n '/^### Troubleshooting/,/^### /p' "$README")
texts=$(grep -rhoE 'AnsiText k[A-Za-z]+\("[^"]+"\)' "$ROOT/src" | sed -E 's/.*\("(.*)"\)/\1/' |
  grep -v -e '^Не обнаружено$' -e '^VorelServer' -e '^ сообщение: $')
texts+=$'\n'$(grep -rhoE 'Log\("system", "(Error|ERROR)[^"]*"' "$ROOT/src" | sed -E 's/.*, "(.*)"/\1/')
while IFS= read -r text; do
  [ -z "$text" ] && continue
  grep -qF -- "$(echo "$text" | sed 's/ *$//')" <<<"$troubleshooting" || fail "the troubleshooting table lacks '$text'"
done <<<"$texts"
for status in "VOREL CRITICAL - not running" "VOREL WARNING - not configured" "cannot be opened" \
  "the portal has not answered" "Another process (pid N)" "did the portal book this?" "vorel_service audit --slot" \
  "Audit entry of zapis not written"; do
  grep -qF -- "$status" <<<"$troubleshooting" || fail "the troubleshooting table lacks '$status'"
done

share=$(sed -n '/^### The reception desk.s share/,/^### /p' "$README")
grep -q 'never mount the share with `nobrl`' <<<"$share" || fail "no warning against nobrl"
! grep -E '^//.* cifs ' <<<"$share" | grep -q nobrl || fail "the example mount uses nobrl"
grep -qE '^//.* cifs ' <<<"$share" || fail "no example mount line"

steps=$(sed -n '/^### First run, step by step/,/^### /p' "$README")
for word in "make package" "apt install ./build/vorel-service_" "state set path" "state set id" \
  "state set pass" "systemctl restart VorelService" "vorel_service status"; do
  grep -qF -- "$word" <<<"$steps" || fail "the first-run steps lack '$word'"
done
steps=$(sed -n '/^### On Windows: first run, step by step/,/^### /p' "$README")
for word in "make windows-package" "msiexec /i" "state set path" "state set id" "state set pass" \
  "net start VorelService" "vorel_service.exe status" "Event Viewer" "| what you see (Windows) |"; do
  grep -qF -- "$word" <<<"$steps" || fail "the Windows first-run steps lack '$word'"
done
grep -q '^### How long `make test` takes' "$README" || fail "no word on how long make test takes"
echo "readme operations: ok"
