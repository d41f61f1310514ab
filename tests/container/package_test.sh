#!/usr/bin/env bash
# The Debian package under a real systemd: it installs and starts idle with a sandboxed unit (security
# exposure at most 5.0), an instance VorelService@clinic2 runs beside the service with its own store (under a
# watchdog of 20 s that its main loop keeps fed), the service comes back after adm_restart while the instance
# runs on, an upgrade restarts both, adm_update's program runs in place of the packaged one, and a purge
# leaves nothing behind.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/container.sh" "$1"
container_require
command -v dpkg-shlibdeps > /dev/null || {
  echo "SKIPPED: the package test needs dpkg-shlibdeps (package dpkg-dev)"
  [[ "${CI:-}" == "true" ]] && exit 1
  exit "$CONTAINER_SKIP"
}
container_make_root
container_test "$HERE/package_scenario.sh"

for version in 620~test1 620~test2; do
  "$HERE/../../packaging/build_deb.sh" "$BUILD" "$version" "$WORK" > /dev/null
done
mv "$WORK/vorel-service_620~test1_amd64.deb" "$SHARED/first.deb"
mv "$WORK/vorel-service_620~test2_amd64.deb" "$SHARED/second.deb"
container_portal
url=$PORTAL_URL
echo "PORTAL=$PORTAL_HOST" > "$SHARED/env"
container_portal
url2=$PORTAL_URL
echo "PORTAL2=$PORTAL_HOST" >> "$SHARED/env"
container_start 900
result() { sed -n "s/^$1 //p" "$SHARED/results" 2> /dev/null; }

wait_for 180 is_back VorelService "$url" 1 || fail "the configured service did not start"
wait_for 60 is_back VorelService@clinic2 "$url2" 1 || fail "the instance clinic2 did not start"
[[ "$(result install)" == "status=0 complaints=0" ]] || fail "install: $(result install)"
[[ "$(result idle)" == "active enabled" ]] || fail "after install: $(result idle)"
[[ "$(result status-idle)" == "exit=1 VOREL WARNING - "*"not configured"* ]] ||
  fail "status of the unconfigured service: $(result status-idle)"
for unit in exposure exposure-template; do
  exposure=$(result "$unit")
  [[ -n "$exposure" ]] && awk "BEGIN { exit !($exposure <= 5.0) }" || fail "$unit: '$exposure'"
done
echo "security exposure $(result exposure) (template $(result exposure-template))"

clinic2_pid=$(pid_of VorelService@clinic2)
answer=$(portal_command "$url" adm_restart)
[[ "$answer" == "restart... /var/lib/vorel_service/serv.sh" ]] || fail "adm_restart answered '$answer'"
wait_for 60 is_back VorelService "$url" 2 || fail "not back within 60 s of adm_restart"
[[ "$(pid_of VorelService@clinic2)" == "$clinic2_pid" ]] || fail "adm_restart restarted the instance"

touch "$SHARED/go-upgrade"
wait_for 120 is_back VorelService "$url" 3 || fail "not back after the upgrade"
wait_for 60 is_back VorelService@clinic2 "$url2" 2 || fail "the instance is not back after the upgrade"
[[ "$(result status-running)" == "exit=0 VOREL OK - "* ]] || fail "status while running: $(result status-running)"
[[ "$(result status-nobody)" == "exit=0 VOREL OK - "* ]] || fail "status as nobody: $(result status-nobody)"
[[ "$(result upgrade)" == "status=0 complaints=0" ]] || fail "upgrade: $(result upgrade)"
[[ "$(result version)" == "620~test2" ]] || fail "version after the upgrade: $(result version)"

answer=$(portal_command "$url" adm_update)
[[ "$answer" == "start load file create load... Size:$(stat -c %s "$UPDATE")" ]] ||
  fail "adm_update answered '$answer'"
wait_for 60 runs_update VorelService "$url" 4 || fail "the portal's program does not run within 60 s"

touch "$SHARED/go-purge"
wait "$BOOT_PID" || fail "the container did not power off in time"
[[ "$(cat "$SHARED/scenario.status" 2> /dev/null)" == 0 ]] || fail "the scenario failed"
[[ "$(result watchdog)" == "15min instance=20s restarts=0" ]] || fail "watchdog: $(result watchdog)"
[[ "$(result purge)" == "status=0 complaints=0" ]] || fail "purge: $(result purge)"
[[ "$(result left)" == " none" && "$(result running)" == "0" ]] ||
  fail "after the purge: left$(result left), running $(result running)"
echo "package under systemd: ok"
