# Sourced by the end-to-end tests under Wine (service_e2e.sh, package_e2e.sh), which run inside the prefix
# and wineserver session that run_under_wine.sh prepares: WIN and POSIX (the two build folders), a work
# folder WORK removed at exit after the test's own `cleanup`, a sample clinic in C:\клиника (a Cyrillic
# name, file names upper-cased as a copy from Windows leaves them) with its facts,
# the portal simulator (url, hostport), and the helpers below.
set -euo pipefail
WIN="$(cd "$1" && pwd)"
POSIX="$(cd "$2" && pwd)"
: "${WINEPREFIX:?run through run_under_wine.sh}"
WORK="$(mktemp -d)"
DRIVE_C="$WINEPREFIX/drive_c"
portal_pid=""
cleanup() { :; }
e2e_exit() {
  cleanup
  [[ -n "$portal_pid" ]] && kill -TERM "$portal_pid" 2>/dev/null && wait "$portal_pid" 2>/dev/null
  rm -rf "$WORK" "$DRIVE_C/клиника"
}
trap e2e_exit EXIT
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
# The same for the operator commands, which print UTF-8.
winu() {
  local rc=0
  wine "$@" > "$WORK/out" 2>&1 < /dev/null || rc=$?
  tr -d '\r' < "$WORK/out"
  return $rc
}
# regval NAME [KEY]: a value of the key (the service's settings when not given).
regval() {
  win reg query "${2:-HKLM\\Software\\VorelServer}" /v "$1" | sed -n -E "s/^ +$1 +REG_[A-Z_]+ {4}//p"
}
wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local limit=$(($1 * 10))
  shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.1; done
  return 1
}

"$POSIX/vorel_sample_clinic" "$WORK/clinic" --patients 50 > "$WORK/facts.txt"
for f in "$WORK"/clinic/*; do mv "$f" "$WORK/clinic/$(basename "$f" | tr '[:lower:]' '[:upper:]')"; done
mv "$WORK/clinic" "$DRIVE_C/клиника"
fact() { sed -n "s/^$1=//p" "$WORK/facts.txt"; }

source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib/simulator.sh"
start_simulator "$POSIX/vorel_portal" --hold-ms 1000
count() { curl -s "${url}api/stats" | sed -n 's/^requests=//p'; }
portal_command() { curl -s --max-time 90 --data-binary "$1" "${url}api/command?wait=60" | tr -d '\r'; }
# The settings of a clinic served by the simulator.
configure() {
  win reg add 'HKLM\Software\VorelServer' /v path /d 'C:\клиника' /f > /dev/null
  win reg add 'HKLM\Software\VorelServer' /v id /d 15 /f > /dev/null
  win reg add 'HKLM\Software\VorelServer' /v pass /d 'p w' /f > /dev/null
  win reg add 'HKLM\Software\VorelServer' /v portal_host /d "$hostport" /f > /dev/null
}
EVENT_SOURCE_KEY='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VorelService'
SERVICE_KEY='HKLM\System\CurrentControlSet\Services\VorelService'
