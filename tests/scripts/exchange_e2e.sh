#!/usr/bin/env bash
# The service program against the portal simulator over a sample clinic as a clinic's machine has it (a
# Cyrillic folder name, file names upper-cased by a copy from Windows): the first request's fields, the
# relay of token and answer, post_spec, a touched reference file resending "spec", load_user, a booking
# and its cancellation, adm_info, a stop during a held request, and the recovery after a database folder
# that cannot be opened.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
WORK="$(mktemp -d)"
export VOREL_STATE="$WORK/state.db"
service_pid=""
portal_pid=""
cleanup() {
  [[ -n "$service_pid" ]] && kill -TERM "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  [[ -n "$portal_pid" ]] && kill -TERM "$portal_pid" 2>/dev/null && wait "$portal_pid" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
[[ -n "${DEBUG_E2E:-}" ]] && trap - EXIT
fail() { echo "FAIL: $*" >&2; echo "--- requests:" >&2; curl -s "${url}api/requests" >&2 || true; exit 1; }

"$BUILD/vorel_sample_clinic" "$WORK/clinic" --patients 50 > "$WORK/facts.txt"
for f in "$WORK"/clinic/*; do mv "$f" "$WORK/clinic/$(basename "$f" | tr '[:lower:]' '[:upper:]')"; done
clinic="$WORK/клиника"  # the setting holds it in Windows-1251, the file system in UTF-8
# Requests are held up to 10 s when nothing is queued, so that a stop finds one in progress.
source "$(dirname "$0")/lib/simulator.sh"
start_simulator "$BUILD/vorel_portal" --hold-ms 10000

state() { "$BUILD/vorel_service" state "$@"; }
state set path "$clinic" > /dev/null
state set id 15 > /dev/null
state set pass "p w" > /dev/null
state set portal_host "$hostport" > /dev/null

requests() { curl -s "${url}api/requests"; }
count() { curl -s "${url}api/stats" | sed -n 's/^requests=//p'; }
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local limit=$(( $1 * 20 )); shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.05; done
  return 1
}
command() { curl -s --max-time 30 --data-binary "$1" "${url}api/command?wait=25"; }

# A database folder that cannot be opened: the error is recorded, nothing is sent, and the service comes
# back by itself once the folder is there.
"$BUILD/vorel_service" > "$WORK/service.log" 2>&1 &
service_pid=$!
check_error() { [[ "$(state get critical_error)" == "Проверьте путь к регистратуре и драйвер FoxPro" ]]; }
wait_for 10 check_error || fail "critical_error: $(state get critical_error)"
[[ "$(count)" == "0" ]] || fail "requests sent without a database"
mv "$WORK/clinic" "$clinic"
has_requests() { [[ "$(count)" != "0" ]]; }
wait_for 20 has_requests || fail "no recovery after the folder appeared"
[[ "$(state get critical_error)" == "Не обнаружено" ]] || fail "critical_error after recovery: $(state get critical_error)"

# The first request: version, soft, spec, nomer, busynom in this order, no sess, no data.
first=$(requests | head -n 1)
[[ "$first" =~ ^#1\ [0-9:]+\ -\>\ version=\"620\"\ soft=\"[0-9]+\"\ spec=\[7\ table\(s\),\ [0-9]+\ rows\]\ nomer=\[1\ table\(s\),\ [0-9]+\ rows\]\ busynom=\[1\ table\(s\),\ [0-9]+\ rows\]\ \ \<-\ .*$ ]] ||
  fail "first request: $first"

# The relay: post_spec answers "spec reload" with the token, and that request carries "spec" again.
answer=$(command "post_spec")
[[ "$answer" == "spec reload" ]] || fail "post_spec answer: $answer"
line=$(requests | grep 'sess="s1" data="spec reload"') || fail "no request with the answer"
[[ "$line" == *' spec=[7 table(s)'* ]] || fail "post_spec did not resend spec: $line"
[[ "$line" != *' nomer='* ]] || fail "nomer resent without a change: $line"

# The next request after an idle "1" reply carries sess="1" and no data.
wait_for 15 bash -c "curl -s '${url}api/requests' | grep -q 'sess=\"1\"  <-'" || fail "no bare sess=1 request"
[[ "$(state get query_in)" == "1" ]] || fail "query_in: $(state get query_in)"

# A touched reference file resends the whole spec export.
touch -d '+5 seconds' "$clinic/C2409.DBF"
answer=$(command "adm_log&nosuch")
[[ -z "$answer" ]] || fail "adm_log of no log answered: $answer"
line=$(requests | grep 'sess="s2"') || fail "no request with the token s2"
[[ "$line" == *' spec=[7 table(s)'* && "$line" != *' data='* ]] || fail "touching c2409.dbf did not resend spec: $line"

# load_user reloads the patient cache and answers "user load".
answer=$(command "load_user")
[[ "$answer" == "user load" ]] || fail "load_user answer: $answer"
[[ "$(state get user_cnt)" == "50" ]] || fail "user_cnt after load_user: $(state get user_cnt)"

# A booking and its cancellation in that folder leave no file of another letter case beside the tables, and
# adm_info names the folders as text (Windows-1251).
fact() { sed -n "s/^$1=//p" "$WORK/facts.txt"; }
slot="$(fact FREE_KW)&$(fact FREE_DATE)&$(fact FREE_TIME)"
answer=$(command "zapis&&&$slot&2&$(fact PATIENT_ID)")
[[ "$answer" == "ok" ]] || fail "zapis answered: $answer"
answer=$(command "delrec&&&$slot&$(fact PATIENT_ID)")
[[ "$answer" == "ok" ]] || fail "delrec answered: $answer"
[[ -z "$(ls "$clinic" | grep '[a-z]')" ]] || fail "files beside the tables: $(ls "$clinic")"
info=$(command "adm_info")  # the simulator gives answers in UTF-8
[[ "$info" == "{\"version\":\"620\",\"base\":\"$clinic\",\"path\":\"$(realpath "$BUILD")/\"}" ]] ||
  fail "adm_info: $info"

# A stop while the simulator holds a request ends the service promptly and in order.
sleep 0.5
start=$(date +%s%N)
kill -TERM "$service_pid"
wait "$service_pid" || fail "the service ended with an error"
service_pid=""
elapsed=$(( ($(date +%s%N) - start) / 1000000 ))
(( elapsed < 3000 )) || fail "the stop took $elapsed ms"
[[ -n "$(state get service_stop)" ]] || fail "service_stop not written"
state get log_global | grep -q 'POST.Error:HttpAbortedError' || fail "the held request was not broken off"
echo "ok (stop in $elapsed ms)"
