#!/bin/sh
# Inside the container: installs the service from /vorel-test with /INSTALL, starts it, and notes in
# /vorel-test/observed what runs (state, main process, service_start, checksum of the running program)
# whenever that changes, until the host writes /vorel-test/host-done; then stops, checks and uninstalls.
T=/vorel-test
P=/opt/vorel/vorel_service
. "$T/env"
mkdir -p /opt/vorel
cp "$T/vorel_service" "$P"
$P state set path "$T/clinic" > /dev/null
$P state set id 15 > /dev/null
$P state set pass secret > /dev/null
$P state set portal_host "$PORTAL" > /dev/null
$P state set update_host "$PORTAL" > /dev/null
$P /INSTALL || exit 1
systemctl start VorelService || exit 1

last=""
i=0
while [ ! -e "$T/host-done" ] && [ $i -lt 1200 ]; do
  pid=$(systemctl show -p MainPID --value VorelService)
  exe=$(sha256sum "/proc/$pid/exe" 2> /dev/null | cut -c1-64)
  line="$(systemctl is-active VorelService) pid=$pid start=$($P state get service_start) exe=$exe"
  [ "$line" != "$last" ] && echo "$line" >> "$T/observed"
  last=$line
  i=$((i + 1))
  sleep 0.5
done

systemctl stop VorelService
echo "stopped: $(systemctl is-active VorelService) service_stop=$($P state get service_stop)" > "$T/final"
journalctl --no-pager -u VorelService > "$T/journal.txt" 2>&1
journalctl --no-pager -u 'run-*' >> "$T/journal.txt" 2>&1
$P /UNINSTALL || exit 1
[ -e /etc/systemd/system/VorelService.service ] && echo "unit file left" >> "$T/final"
echo "uninstalled" >> "$T/final"
