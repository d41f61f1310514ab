#!/usr/bin/env bash
# The Windows service under Wine against the POSIX portal simulator on 127.0.0.1: install and its messages,
# start through the service control manager, the registry values it writes, a booking and its cancellation in
# a clinic folder on drive C: as a clinic's machine has it (a Cyrillic name, file names in upper case), pause
# and continue, adm_restart through c:\serv.bat, stop and uninstall.
#   service_e2e.sh WINDOWS_BUILD_DIR POSIX_BUILD_DIR
# Runs inside the prefix and wineserver session that run_under_wine.sh prepares.
set -euo pipefail
WIN="$(cd "$1" && pwd)"
POSIX="$(cd "$2" && pwd)"
: "${WINEPREFIX:?run through run_under_wine.sh}"
WORK="$(mktemp -d)"
DRIVE_C="$WINEPREFIX/drive_c"
portal_pid=""
cleanup() {
  wine net stop VorelService > /dev/null 2>&1 < /dev/null || true
  wine 'C:\Svc\vorel_service.exe' /UNINSTALL /SILENT > /dev/null 2>&1 < /dev/null || true
  [[ -n "$portal_pid" ]] && kill -TERM "$portal_pid" 2>/dev/null && wait "$portal_pid" 2>/dev/null
  rm -rf "$WORK" "$DRIVE_C/Svc" "$DRIVE_C/клиника" "$DRIVE_C/serv.bat"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  echo "--- requests:" >&2
  curl -s "${url:-}api/requests" >&2 || true
  echo "--- registry:" >&2
  win reg query 'HKLM\Software\VorelServer' >&2 || true
  exit 1
}
started=$(date +%s)
step() { echo "[$(($(date +%s) - started)) s] $*"; }

# Runs a Windows program and prints its output, which Wine's console programs write in the OEM code page
# with CR LF. The output goes through a file: Wine processes that a program starts on the way (the service
# manager, for one) live on and would hold a pipe open.
win() {
  local rc=0
  wine "$@" > "$WORK/out" 2>&1 < /dev/null || rc=$?
  iconv -f cp866 -t utf-8 < "$WORK/out" | tr -d '\r'
  return $rc
}
service_exe='C:\Svc\vorel_service.exe'
service() { win "$service_exe" "$@"; }
regval() {
  win reg query 'HKLM\Software\VorelServer' /v "$1" | sed -n -E "s/^ +$1 +REG_[A-Z_]+ {4}//p"
}
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local limit=$(($1 * 10))
  shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}

mkdir -p "$DRIVE_C/Svc"
cp "$WIN/vorel_service.exe" "$DRIVE_C/Svc/"
"$POSIX/vorel_sample_clinic" "$WORK/clinic" --patients 50 > "$WORK/facts.txt"
for f in "$WORK"/clinic/*; do mv "$f" "$WORK/clinic/$(basename "$f" | tr '[:lower:]' '[:upper:]')"; done
mv "$WORK/clinic" "$DRIVE_C/клиника"
fact() { sed -n "s/^$1=//p" "$WORK/facts.txt"; }

"$POSIX/vorel_portal" --hold-ms 1000 < /dev/null > "$WORK/portal.log" 2>&1 &
portal_pid=$!
for _ in $(seq 100); do grep -q '^PORTAL_URL=' "$WORK/portal.log" 2>/dev/null && break; sleep 0.05; done
url=$(sed -n 's/^PORTAL_URL=//p' "$WORK/portal.log")
[[ -n "$url" ]] || fail "the simulator did not start"
hostport=${url#http://}
hostport=${hostport%/}
count() { curl -s "${url}api/stats" | sed -n 's/^requests=//p'; }
command() { curl -s --max-time 90 --data-binary "$1" "${url}api/command?wait=60" | tr -d '\r'; }

step "install"
out=$(service /INSTALL /SILENT) || fail "install failed: $out"
[[ -z "$out" ]] || fail "a silent install printed: $out"
out=$(service -install) && fail "a second install succeeded"
[[ "$out" == 'Service "VorelService" failed to install with error: "'*'"' ]] || fail "second install: $out"
# Wine's sc has no qc: the service manager's own registry key shows the registration.
config=$(win reg query 'HKLM\System\CurrentControlSet\Services\VorelService')
[[ "$config" == *"Type    REG_DWORD    0x10"* ]] || fail "not an own-process service: $config"
[[ "$config" == *"Start    REG_DWORD    0x2"* ]] || fail "not started automatically: $config"
[[ "$config" == *"ErrorControl    REG_DWORD    0x0"* ]] || fail "errors not ignored: $config"
[[ "$config" == *'ImagePath    REG_SZ    "C:\Svc\vorel_service.exe"'* ]] || fail "program: $config"
[[ "$config" == *"DisplayName    REG_SZ    VorelServer - Запись через интернет"* ]] || fail "display name: $config"

win reg add 'HKLM\Software\VorelServer' /v path /d 'C:\клиника' /f > /dev/null
win reg add 'HKLM\Software\VorelServer' /v id /d 15 /f > /dev/null
win reg add 'HKLM\Software\VorelServer' /v pass /d 'p w' /f > /dev/null
win reg add 'HKLM\Software\VorelServer' /v portal_host /d "$hostport" /f > /dev/null

step "start"
win net start VorelService > /dev/null || fail "net start failed"
has_requests() { [[ "$(count)" -gt 0 ]]; }
wait_for 60 has_requests || fail "no request from the service"
[[ "$(regval version)" == "620" ]] || fail "version: $(regval version)"
[[ "$(regval service_path)" == 'C:\Svc\' ]] || fail "service_path: $(regval service_path)"
[[ "$(regval critical_error)" == "Не обнаружено" ]] || fail "critical_error: $(regval critical_error)"
first=$(curl -s "${url}api/requests" | head -n 1)
[[ "$first" == *' spec=[7 table(s)'*' nomer=[1 table(s)'* ]] || fail "first request: $first"
# The operator's state command works on the same registry key.
[[ "$(service state get version)" == "620" ]] || fail "state get version: $(service state get version)"
first_start=$(regval service_start)
[[ "$first_start" =~ ^[0-9]{2}\.[0-9]{2}\.[0-9]{4}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}$ ]] || fail "service_start: $first_start"

step "book and cancel"
patient=$(fact PATIENT_ID)
kw=$(fact FREE_KW)
date=$(fact FREE_DATE)
slot_time=$(fact FREE_TIME)
answer=$(command "zapis&&&$kw&$date&$slot_time&2&$patient")
[[ "$answer" == "ok" ]] || fail "zapis answered: $answer"
[[ "$(regval record_cnt)" == "1" ]] || fail "record_cnt: $(regval record_cnt)"
answer=$(command "delrec&&&$kw&$date&$slot_time&$patient")
[[ "$answer" == "ok" ]] || fail "delrec answered: $answer"

step "pause and continue"
state=$(win "$WIN/service_control_tool.exe" VorelService pause)
[[ "$state" == "PAUSED" ]] || fail "after pause: $state"
# Only the control thread is suspended: the main loop goes on sending requests.
before=$(count)
more_requests() { [[ "$(count)" -gt "$before" ]]; }
wait_for 30 more_requests || fail "no request while paused"
state=$(win "$WIN/service_control_tool.exe" VorelService continue)
[[ "$state" == "RUNNING" ]] || fail "after continue: $state"

step "adm_restart"
sleep 1  # the start time has whole seconds: the restarted service must show a later one
answer=$(command "adm_restart")
[[ "$answer" == 'restart... c:\serv.bat' ]] || fail "adm_restart answered: $answer"
[[ "$(tr -d '\r' < "$DRIVE_C/serv.bat")" == $'%systemroot%\\system32\\net stop VorelService\n%systemroot%\\system32\\net start VorelService' ]] ||
  fail "c:\\serv.bat: $(cat "$DRIVE_C/serv.bat")"
restarted() { local s; s=$(regval service_start); [[ -n "$s" && "$s" != "$first_start" ]]; }
wait_for 60 restarted || fail "the service did not come back (service_start $(regval service_start))"
[[ -n "$(regval service_stop)" ]] || fail "service_stop not written by the restart"
before=$(count)
wait_for 60 more_requests || fail "no request after the restart"

step "stop and uninstall"
win net stop VorelService > /dev/null || fail "net stop failed"
[[ "$(win sc query VorelService)" =~ STATE\ +:\ 1\ +STOPPED ]] || fail "not stopped"
stopped_at=$(regval service_stop)
[[ "$stopped_at" =~ ^[0-9]{2}\.[0-9]{2}\.[0-9]{4}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}$ ]] || fail "service_stop: $stopped_at"
out=$(service /Uninstall) || fail "uninstall failed: $out"
[[ "$out" == $'Service uninstalled successfully\nRemoved from the service control manager' ]] ||
  fail "uninstall printed: $out"
out=$(service -UNINSTALL -silent) && fail "a second uninstall succeeded"
[[ -z "$out" ]] || fail "a silent uninstall printed: $out"
out=$(service /uninstall) && fail "a second uninstall succeeded"
[[ "$out" == 'Service "VorelService" failed to uninstall with error: "'*'"' ]] || fail "second uninstall: $out"
step "ok"
