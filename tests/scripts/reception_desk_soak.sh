#!/usr/bin/env bash
# A soak with the reception desk: while the portal simulator books and cancels a handful of slots through the
# service, a second process plays the reception desk on the same slots of m2401 (books, frees its own and
# cancels the portal's bookings, each an UPDATE under VFP's record locks through the sql command). Afterwards
# every slot is held by whoever the two logs say holds it last: no booking answered "ok" is gone unless the
# desk cancelled it, no slot is held by both; the tables check clean and the service still runs.
#   reception_desk_soak.sh BUILD_DIR [SECONDS]
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
SECONDS_TO_RUN=${2:-30}
WORK="$(mktemp -d)"
export VOREL_STATE="$WORK/state.db"
service_pid=""
portal_pid=""
desk_pid=""
cleanup() {
  [[ -n "$desk_pid" ]] && kill "$desk_pid" 2>/dev/null && wait "$desk_pid" 2>/dev/null
  [[ -n "$service_pid" ]] && kill -TERM "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  [[ -n "$portal_pid" ]] && kill -TERM "$portal_pid" 2>/dev/null && wait "$portal_pid" 2>/dev/null
  rm -rf "$WORK"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

clinic="$WORK/clinic"
"$BUILD/vorel_sample_clinic" "$clinic" --patients 50 > "$WORK/facts.txt"
patient=$(sed -n 's/^PATIENT_ID=//p' "$WORK/facts.txt")
desk=9000  # the patient the desk books for
sqlcmd() { "$BUILD/vorel_service" sql --path "$clinic" "$1" 2>>"$WORK/sql.err"; }
# Eight free slots from tomorrow on: "kw date time" each.
mapfile -t slots < <(sqlcmd "select kw, dtos(dat), tim from m2401 where kl=0 and empty(fiol) and dat>date()" |
  tr -d '\r' | awk -F'\t' 'NR > 3 && NF >= 3 { print $1, $2, $3 }' | head -n 8)
((${#slots[@]} == 8)) || fail "free slots: ${slots[*]}"
where() {  # where SLOT: the condition on that slot
  local kw date time
  read -r kw date time <<< "$1"
  echo "kw=$kw and dtos(dat)='$date' and tim='$time'"
}
now() { date +%s%N; }

source "$(dirname "$0")/lib/simulator.sh"
start_simulator "$BUILD/vorel_portal" --hold-ms 200 --quiet
for setting in "path $clinic" "id 15" "pass soak" "portal_host $hostport"; do
  # shellcheck disable=SC2086
  "$BUILD/vorel_service" state set $setting > /dev/null
done
"$BUILD/vorel_service" > "$WORK/service.log" 2>&1 &
service_pid=$!
command() { curl -s --max-time 60 --data-binary "$1" "${url}api/command?wait=50"; }
[[ "$(command "load_user")" == "user load" ]] || fail "the service does not answer"

# The desk: each action an UPDATE that changes the slot only in the state it expects, logged when it did.
desk_loop() {
  local end=$(($(date +%s) + SECONDS_TO_RUN)) slot cond
  while (($(date +%s) < end)); do
    slot=${slots[RANDOM % 8]}
    cond=$(where "$slot")
    case $((RANDOM % 3)) in
      0) sqlcmd "update m2401 set fiol='DESK', kl=$desk where $cond and kl=0 and empty(fiol)" |
           grep -q '^1 record changed' && echo "$(now) book $slot" ;;
      1) sqlcmd "update m2401 set fiol='', kl=0 where $cond and kl=$desk" |
           grep -q '^1 record changed' && echo "$(now) free $slot" ;;
      2) sqlcmd "update m2401 set fiol='', kl=0 where $cond and kl=$patient" |
           grep -q '^1 record changed' && echo "$(now) cancel $slot" ;;
    esac
    sleep 0.0$((RANDOM % 10))
  done
}
desk_loop > "$WORK/desk.log" &
desk_pid=$!

# The portal: books a random slot, or cancels one it holds; what the service answered "ok" is logged.
declare -A held=()
portal_bookings=0
end=$(($(date +%s) + SECONDS_TO_RUN))
while (($(date +%s) < end)); do
  slot=${slots[RANDOM % 8]}
  read -r kw date time <<< "$slot"
  # Logged at the time of sending: a desk's cancellation may come before the answer does.
  sent=$(now)
  if [[ -n "${held[$slot]:-}" && $((RANDOM % 2)) -eq 0 ]]; then
    answer=$(command "delrec&&&$kw&$date&$time&$patient")
    [[ "$answer" == "ok" ]] && echo "$sent free $slot" >> "$WORK/portal_actions.log" && unset "held[$slot]"
  else
    answer=$(command "zapis&&&$kw&$date&$time&2&$patient")
    if [[ "$answer" == "ok" ]]; then
      echo "$sent book $slot" >> "$WORK/portal_actions.log"
      held[$slot]=1
      portal_bookings=$((portal_bookings + 1))
    fi
  fi
done
wait "$desk_pid" || true
desk_pid=""
kill -0 "$service_pid" 2>/dev/null || fail "the service ended: $(tail -n 5 "$WORK/service.log")"
touch "$WORK/portal_actions.log"

# Who holds each slot by the logs: the portal from its last "ok" booking unless it freed it or the desk
# cancelled it since; the desk from its last booking unless it freed it since.
for slot in "${slots[@]}"; do
  portal_holds=$(sort -n "$WORK/portal_actions.log" <(grep " cancel $slot\$" "$WORK/desk.log" || true) |
    { grep " $slot\$" || true; } | tail -n 1 | awk '{ print $2 }')
  desk_holds=$({ grep -E " (book|free) $slot\$" "$WORK/desk.log" || true; } | tail -n 1 | awk '{ print $2 }')
  kl=$(sqlcmd "select kl from m2401 where $(where "$slot")" | tr -d '\r' | awk -F'\t' 'NR > 3 && NF > 1 { print $1 }')
  [[ "$portal_holds" == "book" && "$desk_holds" == "book" ]] && fail "slot $slot held by both"
  if [[ "$portal_holds" == "book" ]]; then
    [[ "$kl" == "$patient" ]] || fail "slot $slot: the portal's booking is gone (kl=$kl)"
  elif [[ "$desk_holds" == "book" ]]; then
    [[ "$kl" == "$desk" ]] || fail "slot $slot: the desk's booking is gone (kl=$kl)"
  else
    [[ "$kl" == "0" ]] || fail "slot $slot: held by nobody in the logs, kl=$kl"
  fi
done
"$BUILD/vorel_service" dbcheck --path "$clinic" > "$WORK/dbcheck.log" || fail "dbcheck: $(cat "$WORK/dbcheck.log")"
desk_actions=$(wc -l < "$WORK/desk.log")
desk_cancels=$(grep -c ' cancel ' "$WORK/desk.log" || true)
echo "portal bookings answered ok: $portal_bookings; desk actions: $desk_actions ($desk_cancels of them" \
  "cancelling the portal's bookings)"
echo "ok"
