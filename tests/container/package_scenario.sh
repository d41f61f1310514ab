#!/bin/sh
# Inside the container: installs the package, notes the idle start, its status and the units' security
# exposure, configures the service and an instance VorelService@clinic2 and observes both. The host drives
# the portal's commands; go-upgrade and go-purge start the next steps. Findings go to results.
. /vorel-test/inside.sh

dpkg_step() {  # dpkg_step NAME ARGS...: runs dpkg, notes its status and whether it complained
  name=$1
  shift
  dpkg "$@" > "$T/dpkg-$name.log" 2>&1
  note "$name status=$? complaints=$(grep -ciE 'error|warning|fail' "$T/dpkg-$name.log")"
}
status() {  # status NAME [COMMAND...]: the exit status and first line of `vorel_service status`
  name=$1
  shift
  "$@" vorel_service status > "$T/status-$name.txt" 2>&1
  note "status-$name exit=$? $(head -n 1 "$T/status-$name.txt")"
}
exposure() {  # exposure UNIT_FILE: systemd's rating of the unit's sandbox
  systemd-analyze security --offline=yes "$1" 2>&1 |
    sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p'
}
configure() {  # configure PORTAL: the store of VOREL_STATE
  vorel_service state set path "$T/clinic" > /dev/null
  vorel_service state set id 15 > /dev/null
  vorel_service state set pass secret > /dev/null
  vorel_service state set portal_host "$1" > /dev/null
  vorel_service state set update_host "$1" > /dev/null
}

dpkg_step install -i "$T/first.deb"
note "idle $(systemctl is-active VorelService) $(systemctl is-enabled VorelService)"
status idle
note "exposure $(exposure /lib/systemd/system/VorelService.service)"
note "exposure-template $(exposure /lib/systemd/system/VorelService@.service)"

configure "$PORTAL"
VOREL_STATE=/var/lib/vorel_service/clinic2.db configure "$PORTAL2"
systemctl restart VorelService
# The instance under a short watchdog: a main loop that stopped telling systemd it is alive would be killed
# and restarted within the test.
dropin=/etc/systemd/system/VorelService@clinic2.service.d
mkdir -p "$dropin"
printf '[Service]\nWatchdogSec=20s\n' > "$dropin/watchdog.conf"
systemctl daemon-reload
systemctl enable --now VorelService@clinic2 2> /dev/null
observe vorel_service VorelService:/var/lib/vorel_service/state.db \
  VorelService@clinic2:/var/lib/vorel_service/clinic2.db &
observer=$!

wait_file go-upgrade
status running
# A monitoring agent's own user, who cannot read the store.
status nobody setpriv --reuid=nobody --regid=nogroup --clear-groups
dpkg_step upgrade -i "$T/second.deb"
note "version $(dpkg-query -W -f '${Version}' vorel-service)"

wait_file go-purge
kill "$observer"
note "watchdog $(systemctl show -p WatchdogUSec --value VorelService)" \
  "instance=$(systemctl show -p WatchdogUSec --value VorelService@clinic2)" \
  "restarts=$(systemctl show -p NRestarts --value VorelService@clinic2)"
rm -rf "$dropin"
systemctl daemon-reload
journalctl --no-pager -u 'VorelService*' -u 'run-*' > "$T/journal.txt" 2>&1
dpkg_step purge --purge vorel-service
left=""
for path in /var/lib/vorel_service /opt/vorel-service /usr/bin/vorel_service \
  /lib/systemd/system/VorelService.service /lib/systemd/system/VorelService@.service; do
  [ -e "$path" ] || [ -L "$path" ] && left="$left $path"
done
left="$left$(find /etc/systemd -name 'VorelService*' -printf ' %p')"
note "left ${left:- none}"
note "running $(systemctl list-units --no-legend --state=active 'VorelService*' | wc -l)"
