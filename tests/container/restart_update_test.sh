#!/usr/bin/env bash
# adm_restart and adm_update under a real systemd: the service, installed with /INSTALL in a booted Debian
# container, answers both commands, comes back within 60 s each time (a new service_start and a new first
# request with the exports), and after the update runs the downloaded program.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
HERE="$(cd "$(dirname "$0")" && pwd)"
CONTAINER_ROOT="$BUILD/container-root"
source "$HERE/container.sh"
container_require
container_make_root

WORK="$(mktemp -d)"
SHARED="$WORK/shared"
mkdir -p "$SHARED"
portal_pid=""
boot_pid=""
cleanup() {
  for pid in $boot_pid $portal_pid; do
    kill -TERM "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
  done
  if [[ -n "${KEEP_WORK:-}" ]]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  for f in observed final scenario.log journal.txt; do
    [[ -f "$SHARED/$f" ]] && { echo "--- $f:" >&2; tail -n 40 "$SHARED/$f" >&2; }
  done
  echo "--- requests:" >&2
  curl -s "${url}api/requests" | tail -n 20 >&2 || true
  exit 1
}
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local limit=$(($1 * 4))
  shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.25; done
  return 1
}

"$BUILD/vorel_sample_clinic" "$SHARED/clinic" --patients 50 > /dev/null
cp "$BUILD/vorel_service" "$SHARED/vorel_service"
# The update: the same program with bytes of its own at the end, so that its checksum tells it apart.
cp "$BUILD/vorel_service" "$WORK/update"
echo "update of the container test" >> "$WORK/update"
update_sum=$(sha256sum "$WORK/update" | cut -c1-64)

"$BUILD/vorel_portal" --hold-ms 1000 --update-file "$WORK/update" < /dev/null > "$WORK/portal.log" 2>&1 &
portal_pid=$!
wait_for 5 grep -q '^PORTAL_URL=' "$WORK/portal.log" || fail "the simulator did not start"
url=$(sed -n 's/^PORTAL_URL=//p' "$WORK/portal.log")
hostport=${url#http://}
echo "PORTAL=${hostport%/}" > "$SHARED/env"
cp "$HERE/restart_update_scenario.sh" "$SHARED/scenario"
chmod +x "$SHARED/scenario"

container_boot "$SHARED" 600 &
boot_pid=$!

# A first request carries the exports and no session token.
first_requests() { curl -s "${url}api/requests" | grep ' spec=\[' | grep -vc ' sess=' || true; }
starts() { grep '^active ' "$SHARED/observed" 2> /dev/null | sed 's/.* start=\(.*\) exe=.*/\1/' | sort -u | wc -l; }
is_back() {  # is_back N: the N-th start is running and has sent its first request
  [[ "$(first_requests)" -ge "$1" && "$(starts)" -ge "$1" ]] && tail -n 1 "$SHARED/observed" | grep -q '^active '
}
command() { curl -s --max-time 40 --data-binary "$1" "${url}api/command?wait=30"; }

wait_for 120 is_back 1 || fail "the service did not start in the container"

answer=$(command adm_restart)
[[ "$answer" == "restart... /var/lib/vorel_service/serv.sh" ]] || fail "adm_restart answered '$answer'"
begin=$(date +%s)
wait_for 60 is_back 2 || fail "not back within 60 s of adm_restart"
echo "back $(($(date +%s) - begin)) s after the answer to adm_restart"

answer=$(command adm_update)
[[ "$answer" == "start load file create load... Size:$(stat -c %s "$WORK/update")" ]] ||
  fail "adm_update answered '$answer'"
begin=$(date +%s)
runs_update() { is_back 3 && tail -n 1 "$SHARED/observed" | grep -q " exe=$update_sum\$"; }
wait_for 60 runs_update || fail "the update does not run within 60 s of adm_update"
echo "the update runs $(($(date +%s) - begin)) s after the answer to adm_update"

touch "$SHARED/host-done"
wait "$boot_pid" || fail "the container did not power off in time (status $?)"
boot_pid=""
[[ "$(cat "$SHARED/scenario.status" 2> /dev/null)" == 0 ]] || fail "the scenario failed"
grep -q '^stopped: inactive service_stop=[0-9]' "$SHARED/final" || fail "stop: $(cat "$SHARED/final")"
grep -qx 'uninstalled' "$SHARED/final" && ! grep -q 'left' "$SHARED/final" ||
  fail "uninstall: $(cat "$SHARED/final")"
echo "restart and update under systemd: ok"
