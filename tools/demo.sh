#!/usr/bin/env bash
# The demo: a sample clinic, the portal simulator and the service talking to each other through a short
# scripted scenario, shown as a readable transcript.
#   tools/demo.sh BUILD_DIR [--keep]     (--keep, or KEEP=1: leave the simulator running afterwards)
set -euo pipefail

build=$(cd "${1:?usage: tools/demo.sh BUILD_DIR [--keep]}" && pwd)
keep=${KEEP:-}
[[ "${2:-}" == "--keep" ]] && keep=1
demo="$build/demo"
for program in vorel_service vorel_portal vorel_sample_clinic; do
  [[ -x "$build/$program" ]] || { echo "demo: $build/$program is missing; build first" >&2; exit 1; }
done

# A previous run's simulator left running with --keep is ended first.
if [[ -f "$demo/portal.pid" ]]; then
  kill "$(cat "$demo/portal.pid")" 2>/dev/null || true
fi
rm -rf "$demo"
mkdir -p "$demo"

service_pid=""
portal_pid=""
cleanup() {
  if [[ -n "$service_pid" ]] && kill -0 "$service_pid" 2>/dev/null; then
    kill -TERM "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  if [[ -z "$keep" && -n "$portal_pid" ]] && kill -0 "$portal_pid" 2>/dev/null; then
    kill -TERM "$portal_pid" 2>/dev/null || true
    wait "$portal_pid" 2>/dev/null || true
    rm -f "$demo/portal.pid"
  fi
}
trap cleanup EXIT

say() { printf '\n== %s\n' "$*"; }

say "Sample clinic database in $demo/clinic"
"$build/vorel_sample_clinic" "$demo/clinic" --indexed > "$demo/facts.txt"
fact() { sed -n "s/^$1=//p" "$demo/facts.txt"; }
sed 's/^/   /' "$demo/facts.txt"

say "Portal simulator"
# The service's state store, which the simulator's page reads the audit trail from too.
export VOREL_STATE="$demo/state.db"
# The simulator reads commands from stdin too; here they come through its HTTP interface only.
"$build/vorel_portal" --hold-ms 1000 < /dev/null > "$demo/portal.log" 2>&1 &
portal_pid=$!
echo "$portal_pid" > "$demo/portal.pid"
for _ in $(seq 100); do
  grep -q '^PORTAL_URL=' "$demo/portal.log" 2>/dev/null && break
  sleep 0.05
done
portal_url=$(sed -n 's/^PORTAL_URL=//p' "$demo/portal.log")
[[ -n "$portal_url" ]] || { echo "demo: the simulator did not start" >&2; cat "$demo/portal.log" >&2; exit 1; }
host_port=${portal_url#http://}
host_port=${host_port%/}
echo "   listening at $portal_url"

say "Service configuration (state store $demo/state.db)"
"$build/vorel_service" state set path "$demo/clinic"
"$build/vorel_service" state set id 15
"$build/vorel_service" state set pass demo
"$build/vorel_service" state set portal_host "$host_port"
echo "   path=$demo/clinic id=15 pass=demo portal_host=$host_port"

say "Starting the service"
"$build/vorel_service" > "$demo/service.log" 2>&1 &
service_pid=$!

portal_stat() { curl -s "${portal_url}api/stats" | sed -n "s/^$1=//p"; }
for _ in $(seq 200); do
  [[ "$(portal_stat nomer_tables)" == "1" && "$(portal_stat busynom_tables)" == "1" ]] && break
  kill -0 "$service_pid" 2>/dev/null || { echo "demo: the service ended" >&2; cat "$demo/service.log" >&2; exit 1; }
  sleep 0.1
done
say "Published by the first request"
echo "   reference tables: $(portal_stat spec_tables) tables, $(portal_stat spec_rows) rows"
echo "   free slots:       $(portal_stat nomer_rows)"
echo "   taken slots:      $(portal_stat busynom_rows)"

# Sends a reply line to the service through the simulator and shows the answer it got back.
exchange() {
  local title=$1 line=$2 answer
  say "$title"
  echo "   portal -> service: $line"
  answer=$(curl -s --max-time 90 --data-binary "$line" "${portal_url}api/command?wait=60" | tr -d '\r')
  if [[ -z "$answer" ]]; then
    echo "   service -> portal: (no data)"
  else
    printf '%s\n' "$answer" | head -n 12 | sed 's/^/   service -> portal: /'
    local lines
    lines=$(printf '%s\n' "$answer" | wc -l)
    (( lines > 12 )) && echo "   ... ($lines lines in all)"
  fi
  return 0
}

patient=$(fact PATIENT_ID)
surname=$(fact LOGIN_SURNAME)
policy=$(fact POLICY)
kw=$(fact FREE_KW)
date=$(fact FREE_DATE)
slot_time=$(fact FREE_TIME)

exchange "Group list" "get_grup"
exchange "Patient login lookup" "user&$surname&$policy"
exchange "Booking a free slot" "zapis&&&$kw&$date&$slot_time&2&$patient"
exchange "The patient's slots" "adm_nomer_user&$patient"
exchange "Cancelling the booking" "delrec&&&$kw&$date&$slot_time&$patient"
exchange "Booking log" "adm_log&zapis"
exchange "Cancellation log" "adm_log&delete"

say "Audit trail of the booking and the cancellation (vorel_service audit --slot $kw $date $slot_time)"
"$build/vorel_service" audit --slot "$kw" "$date" "$slot_time" | sed 's/^/   /'

say "Index check of the clinic tables after booking and cancelling"
"$build/vorel_service" dbcheck --path "$demo/clinic" m2401 2>&1 | sed 's/^/   /'

say "Stopping the service"
kill -TERM "$service_pid"
wait "$service_pid" || true
service_pid=""
echo "   service_stop = $("$build/vorel_service" state get service_stop)"
echo "   requests served by the simulator: $(portal_stat requests)"

if [[ -n "$keep" ]]; then
  say "The simulator keeps running: open $portal_url (stop it with: kill $portal_pid)"
  trap - EXIT
fi
