#!/usr/bin/env bash
# The Windows service under Wine against the POSIX portal simulator on 127.0.0.1: install and its messages,
# start through the service control manager, the registry values it writes, a booking and its cancellation in
# a clinic folder on drive C: as a clinic's machine has it (a Cyrillic name, file names in upper case), pause
# and continue, adm_restart through c:\serv.bat, stop and uninstall.
#   service_e2e.sh WINDOWS_BUILD_DIR POSIX_BUILD_DIR
# Runs inside the prefix and wineserver session that run_under_wine.sh prepares.
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/e2e_common.sh"
cleanup() {
  wine net stop VorelService > /dev/null 2>&1 < /dev/null || true
  wine 'C:\Svc\vorel_service.exe' /UNINSTALL /SILENT > /dev/null 2>&1 < /dev/null || true
  rm -rf "$DRIVE_C/Svc" "$DRIVE_C/serv.bat"
}
service_exe='C:\Svc\vorel_service.exe'
service() { win "$service_exe" "$@"; }
mkdir -p "$DRIVE_C/Svc"
cp "$WIN/vorel_service.exe" "$DRIVE_C/Svc/"

step "install"
out=$(service /INSTALL /SILENT) || fail "install failed: $out"
[[ -z "$out" ]] || fail "a silent install printed: $out"
# The event log reads the texts from the program's message table.
events=$(win reg query "$EVENT_SOURCE_KEY")
[[ "$events" == *'EventMessageFile    REG_EXPAND_SZ    C:\Svc\vorel_service.exe'* ]] || fail "event source: $events"
[[ "$events" == *"TypesSupported    REG_DWORD    0x7"* ]] || fail "event types: $events"
out=$(service -install) && fail "a second install succeeded"
[[ "$out" == 'Service "VorelService" failed to install with error: "'*'"' ]] || fail "second install: $out"
# Wine's sc has no qc: the service manager's own registry key shows the registration.
config=$(win reg query "$SERVICE_KEY")
[[ "$config" == *"Type    REG_DWORD    0x10"* ]] || fail "not an own-process service: $config"
[[ "$config" == *"Start    REG_DWORD    0x2"* ]] || fail "not started automatically: $config"
[[ "$config" == *"ErrorControl    REG_DWORD    0x0"* ]] || fail "errors not ignored: $config"
[[ "$config" == *'ImagePath    REG_SZ    "C:\Svc\vorel_service.exe"'* ]] || fail "program: $config"
[[ "$config" == *"DisplayName    REG_SZ    VorelServer - Запись через интернет"* ]] || fail "display name: $config"

configure

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
answer=$(portal_command "zapis&&&$kw&$date&$slot_time&2&$patient")
[[ "$answer" == "ok" ]] || fail "zapis answered: $answer"
[[ "$(regval record_cnt)" == "1" ]] || fail "record_cnt: $(regval record_cnt)"
answer=$(portal_command "delrec&&&$kw&$date&$slot_time&$patient")
[[ "$answer" == "ok" ]] || fail "delrec answered: $answer"

step "operator commands"
# They take and print UTF-8, as on Linux; the exit statuses follow the monitoring plugin convention.
expect() {  # expect STATUS PATTERN COMMAND...: the exit status and output of an operator command
  local want=$1 pattern=$2 rc=0 out
  shift 2
  out=$(winu "$service_exe" "$@") || rc=$?
  [[ $rc == "$want" && "$out" == $pattern ]] || fail "'$*' exited $rc: $out"
}
expect 0 "VOREL OK - running*" status
[[ -s "$DRIVE_C/ProgramData/VorelService/VorelService.status" ]] || fail "no status record under ProgramData"
expect 0 "" state set note 'Ёлка'
[[ "$(regval note)" == 'Ёлка' ]] || fail "stored: $(regval note)"
expect 0 'Ёлка' state get note
expect 1 "*Windows-1251 cannot hold*" state set note 'Ёлка 中文'
expect 0 "" state unset note
mkdir -p "$DRIVE_C/Регистратура"
expect 0 "0 records changed" sql --path 'C:\Регистратура' "create table t (kw n(5), fiol c(10))"
expect 0 "1 record changed" sql --path 'C:\Регистратура' "insert into t values (7, 'Ёлкин')"
expect 0 "*"$'\n7\tЁлкин\t'"*" sql --path 'C:\Регистратура' "select * from t where fiol='ЁЛКИН'"
expect 1 "vorel_service sql: *Column 'kl' is not found*" sql --path 'C:\Регистратура' "select kl from t"
rm -rf "$DRIVE_C/Регистратура"

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
answer=$(portal_command "adm_restart")
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
expect 2 "VOREL CRITICAL - not running*" status
stopped_at=$(regval service_stop)
[[ "$stopped_at" =~ ^[0-9]{2}\.[0-9]{2}\.[0-9]{4}\ [0-9]{1,2}:[0-9]{2}:[0-9]{2}$ ]] || fail "service_stop: $stopped_at"
out=$(service /Uninstall) || fail "uninstall failed: $out"
[[ "$out" == $'Service uninstalled successfully\nRemoved from the service control manager\nEvent log source VorelService removed' ]] ||
  fail "uninstall printed: $out"
win reg query "$EVENT_SOURCE_KEY" > /dev/null && fail "the event source is left after the uninstall"
out=$(service -UNINSTALL -silent) && fail "a second uninstall succeeded"
[[ -z "$out" ]] || fail "a silent uninstall printed: $out"
out=$(service /uninstall) && fail "a second uninstall succeeded"
[[ "$out" == 'Service "VorelService" failed to uninstall with error: "'*'"' ]] || fail "second uninstall: $out"
step "ok"
