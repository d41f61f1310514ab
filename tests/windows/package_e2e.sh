#!/usr/bin/env bash
# The Windows installer under Wine (msiexec /qn) against the POSIX portal simulator: installed without
# settings it registers the service (with its event log source) and leaves it stopped; removal takes service,
# program folder and event log source and keeps the settings; a service registered by /INSTALL elsewhere is
# taken over and, with the settings present, started from Program Files; a newer package replaces the older
# one in place, settings kept, and its removal leaves nothing of the program.
#   package_e2e.sh WINDOWS_BUILD_DIR POSIX_BUILD_DIR
# Runs inside the prefix and wineserver session that run_under_wine.sh prepares.
HERE="$(cd "$(dirname "$0")" && pwd)"
source "$HERE/e2e_common.sh"
INSTALLED='C:\Program Files\VorelService\vorel_service.exe'
cleanup() {
  for msi in older newer; do wine msiexec /x "C:\\pkg\\$msi.msi" /qn > /dev/null 2>&1 < /dev/null || true; done
  wine 'C:\Svc\vorel_service.exe' /UNINSTALL /SILENT > /dev/null 2>&1 < /dev/null || true
  rm -rf "$DRIVE_C/pkg" "$DRIVE_C/Svc"
}
command -v wixl > /dev/null || fail "wixl is missing (make deps installs it)"
mkdir -p "$DRIVE_C/pkg"
# The release before this one and this one, of the same program.
"$HERE/../../packaging/windows/build_msi.sh" "$WIN/vorel_service.exe" 619 "$WORK" > /dev/null
"$HERE/../../packaging/windows/build_msi.sh" "$WIN/vorel_service.exe" 620 "$WORK" > /dev/null
mv "$WORK/vorel-service-619.msi" "$DRIVE_C/pkg/older.msi"
mv "$WORK/vorel-service-620.msi" "$DRIVE_C/pkg/newer.msi"
msiexec() { win msiexec "$1" "C:\\pkg\\$2.msi" /qn; }
state() { win sc query VorelService | sed -n -E 's/^ *STATE +: [0-9]+ +([A-Z_]+).*/\1/p'; }
is_running() { [[ "$(state)" == RUNNING ]]; }
serves_from() { [[ "$(regval service_path)" == "$1" ]] && is_running; }
registered_from() {  # the service and its event log source name the program
  [[ "$(regval ImagePath "$SERVICE_KEY")" == "\"$1\"" ]] || fail "ImagePath: $(regval ImagePath "$SERVICE_KEY")"
  [[ "$(regval EventMessageFile "$EVENT_SOURCE_KEY")" == "$1" ]] ||
    fail "EventMessageFile: $(regval EventMessageFile "$EVENT_SOURCE_KEY")"
}
removed() {
  win reg query "$SERVICE_KEY" > /dev/null && fail "the service is left"
  win reg query "$EVENT_SOURCE_KEY" > /dev/null && fail "the event log source is left"
  [[ ! -e "$DRIVE_C/Program Files/VorelService" ]] || fail "left: $(ls "$DRIVE_C/Program Files/VorelService")"
}

step "install without settings"
win reg delete 'HKLM\Software\VorelServer' /f > /dev/null || true
msiexec /i older || fail "install failed: $(cat "$WORK/out")"
registered_from "$INSTALLED"
[[ "$(state)" == STOPPED ]] || fail "an unconfigured service was started: $(state)"
msiexec /x older || fail "removal failed"
removed

step "take over a service registered by /INSTALL"
configure
mkdir -p "$DRIVE_C/Svc"
cp "$WIN/vorel_service.exe" "$DRIVE_C/Svc/"
out=$(win 'C:\Svc\vorel_service.exe' /INSTALL) || fail "/INSTALL: $out"
[[ "$out" == *$'\nAfter a crash'*'restarted after 10 s (failures counted anew after 24 hours)'* ]] ||
  fail "/INSTALL printed: $out"
win net start VorelService > /dev/null || fail "net start failed"
wait_for 60 serves_from 'C:\Svc\' || fail "the service by hand did not start"
msiexec /i older || fail "install over /INSTALL failed"
registered_from "$INSTALLED"
wait_for 60 serves_from 'C:\Program Files\VorelService\' || fail "not running from Program Files"

step "upgrade"
first_start=$(regval service_start)
sleep 1  # whole seconds: the new start must show a later time
msiexec /i newer || fail "upgrade failed"
registered_from "$INSTALLED"
restarted() { [[ "$(regval service_start)" != "$first_start" ]] && is_running; }
wait_for 60 restarted || fail "not running again after the upgrade"
# The newer product alone is installed.
uninstall_key() {
  local code
  code=$(msiinfo export "$DRIVE_C/pkg/$1.msi" Property | sed -n 's/^ProductCode\t\(.*\)\r$/\1/p')
  echo "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$code"
}
win reg query "$(uninstall_key older)" > /dev/null && fail "the older package is still installed"
[[ "$(regval DisplayVersion "$(uninstall_key newer)")" == 6.2.0 ]] || fail "installed: $(cat "$WORK/out")"
[[ "$(regval id)" == 15 ]] || fail "settings lost: id=$(regval id)"

step "uninstall"
msiexec /x newer || fail "uninstall failed"
removed
[[ "$(regval path)" == 'C:\клиника' ]] || fail "settings lost: path=$(regval path)"
step "ok"
