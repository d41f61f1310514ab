#!/usr/bin/env bash
# adm_restart and adm_update under a real systemd: the service, installed with /INSTALL in a booted Debian
# container, answers both commands, comes back within 60 s each time (a new service_start and a new first
# request with the exports), and after the update runs the downloaded program.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/container.sh" "$1"
container_require
container_make_root
container_test "$HERE/restart_update_scenario.sh"

cp "$BUILD/vorel_service" "$SHARED/vorel_service"
container_portal
url=$PORTAL_URL
echo "PORTAL=$PORTAL_HOST" > "$SHARED/env"
container_start 600
result() { sed -n "s/^$1 //p" "$SHARED/results" 2> /dev/null; }

wait_for 120 is_back VorelService "$url" 1 || fail "the service did not start in the container"

answer=$(portal_command "$url" adm_restart)
[[ "$answer" == "restart... /var/lib/vorel_service/serv.sh" ]] || fail "adm_restart answered '$answer'"
begin=$(date +%s)
wait_for 60 is_back VorelService "$url" 2 || fail "not back within 60 s of adm_restart"
echo "back $(($(date +%s) - begin)) s after the answer to adm_restart"

answer=$(portal_command "$url" adm_update)
[[ "$answer" == "start load file create load... Size:$(stat -c %s "$UPDATE")" ]] ||
  fail "adm_update answered '$answer'"
begin=$(date +%s)
wait_for 60 runs_update VorelService "$url" 3 || fail "the update does not run within 60 s of adm_update"
echo "the update runs $(($(date +%s) - begin)) s after the answer to adm_update"

touch "$SHARED/host-done"
wait "$BOOT_PID" || fail "the container did not power off in time"
[[ "$(cat "$SHARED/scenario.status" 2> /dev/null)" == 0 ]] || fail "the scenario failed"
[[ "$(result stopped)" == "inactive service_stop="[0-9]* ]] || fail "stop: $(result stopped)"
[[ "$(result uninstalled)" == yes && -z "$(result unit-left)" ]] || fail "the unit is left after /UNINSTALL"
echo "restart and update under systemd: ok"
