#!/usr/bin/env bash
# The portal simulator's page in a real browser: the schedule grid names the doctors of the reference
# tables, says how much of it is shown and fits 1280 pixels; a booking made by a click reaches m2401 and comes
# back as a taken slot, whose click cancels it again. Leaves a screenshot in BUILD/portal_page.png. Exit 77
# (skipped) without a browser, except under CI, where that is a failure.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
HERE="$(cd "$(dirname "$0")/.." && pwd)"
fail() { echo "FAIL: $*" >&2; exit 1; }
if ! [ -x /usr/bin/chromium ] || ! [ -x /usr/bin/chromedriver ] || ! /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
  [ "${CI:-}" = true ] && fail "chromium, chromium-driver and python3-selenium are needed (make deps)"
  echo "SKIP: no chromium, chromium-driver or python3-selenium"
  exit 77
fi
WORK="$(mktemp -d)"
export VOREL_STATE="$WORK/state.db"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$BUILD/vorel_sample_clinic" "$WORK/clinic" >"$WORK/facts"
patient=$(sed -n 's/^PATIENT_ID=//p' "$WORK/facts")
"$BUILD/vorel_portal" --hold-ms 300 --quiet </dev/null >"$WORK/portal.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do grep -q PORTAL_URL "$WORK/portal.log" && break; sleep 0.05; done
url=$(sed -n 's/^PORTAL_URL=//p' "$WORK/portal.log")
[ -n "$url" ] || fail "the portal simulator did not start"
host=${url#http://}
"$BUILD/vorel_service" state set path "$WORK/clinic"
"$BUILD/vorel_service" state set id 15
"$BUILD/vorel_service" state set pass page
"$BUILD/vorel_service" state set portal_host "${host%/}"
"$BUILD/vorel_service" 2>"$WORK/service.log" &
pids+=($!)
for _ in $(seq 1 300); do
  curl -s "${url}api/stats" | grep -q '^busynom_tables=1' && break
  sleep 0.1
done
surname=$("$BUILD/vorel_service" sql --path "$WORK/clinic" "select fam from ci003 where kw=1" | sed -n '4p' |
  tr -d '\t\r')
[ -n "$surname" ] || fail "no doctor in ci003"

# What m2401 holds in kl for the slot KW YYYYMMDD HH:MM.
cat >"$WORK/slot_owner" <<OWNER
#!/bin/sh
"$BUILD/vorel_service" sql --path "$WORK/clinic" "select kl from m2401 where kw=\$1 and dtos(dat)='\$2' and tim='\$3'" |
  sed -n '4p' | tr -d '\t\r'
OWNER
chmod +x "$WORK/slot_owner"

shot="$BUILD/portal_page.png"
out=$(/usr/bin/python3 "$HERE/browser/portal_page.py" "$url" "$patient" "$surname" "$shot" "$WORK/slot_owner") ||
  fail "the browser test failed: $out"
echo "portal page: ok, ${out,,} for patient $patient; screenshot $shot"
