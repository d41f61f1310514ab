#!/bin/sh
# Inside the container: installs the service from /vorel-test with /INSTALL, starts it and observes it until
# the host writes host-done; then stops it, checks the stop and uninstalls. Findings go to results.
. /vorel-test/inside.sh
P=/opt/vorel/vorel_service
mkdir -p /opt/vorel
cp "$T/vorel_service" "$P"
$P state set path "$T/clinic" > /dev/null
$P state set id 15 > /dev/null
$P state set pass secret > /dev/null
$P state set portal_host "$PORTAL" > /dev/null
$P state set update_host "$PORTAL" > /dev/null
$P /INSTALL || exit 1
systemctl start VorelService || exit 1

observe "$P" VorelService:/var/lib/vorel_service/state.db &
observer=$!
wait_file host-done
kill "$observer"

systemctl stop VorelService
note "stopped $(systemctl is-active VorelService) service_stop=$($P state get service_stop)"
journalctl --no-pager -u VorelService -u 'run-*' > "$T/journal.txt" 2>&1
$P /UNINSTALL > /dev/null || exit 1
[ -e /etc/systemd/system/VorelService.service ] && note "unit-left yes"
note "uninstalled yes"
