# Booting a real systemd in a container for the tests that need one. Sourced by tests/container/*_test.sh
# with the build folder as argument (BUILD; the root is CONTAINER_ROOT in it); run as
# `container.sh --check BUILD_DIR` it says whether this machine can boot it.
#
# The root is a Debian 12 tree made once with debootstrap and kept under the build folder; every boot runs
# on a throw-away overlay of it (--volatile=overlay), so a test never sees what another left behind. The
# container shares the host's network: a portal simulator on the host's 127.0.0.1 is reachable from inside.

CONTAINER_PACKAGES="systemd,systemd-sysv,dbus,libcurl4,libsqlite3-0,zlib1g"
CONTAINER_HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
[[ "${1:-}" == --check ]] && shift
BUILD="$(cd "${1:-build}" && pwd)"
CONTAINER_ROOT="$BUILD/container-root"

# Exit status of a test that cannot run here; CTest shows it as skipped (SKIP_RETURN_CODE).
CONTAINER_SKIP=77

# What this machine lacks to boot the container, as a list of words; empty when nothing.
container_missing() {
  local missing=""
  [[ "$(id -u)" == 0 ]] || missing=" root"
  command -v systemd-nspawn > /dev/null || missing="$missing systemd-nspawn (package systemd-container)"
  command -v debootstrap > /dev/null || [[ -f "$CONTAINER_ROOT/.complete" ]] || missing="$missing debootstrap"
  echo "$missing"
}

# Ends the test when this machine cannot boot a container: a skip that says why, or a failure under CI.
container_require() {
  local missing
  missing=$(container_missing)
  [[ -z "$missing" ]] && return 0
  if [[ "${CI:-}" == "true" ]]; then
    echo "FAIL: the systemd container tests need:$missing" >&2
    exit 1
  fi
  echo "SKIPPED: the systemd container tests cannot run on this machine; they need:$missing"
  exit "$CONTAINER_SKIP"
}

# The first URIs: of the machine's apt sources (deb822 files first, then the one-line format).
container_mirror() {
  local mirror
  mirror=$(sed -n 's/^URIs:[[:space:]]*\([^[:space:]]*\).*/\1/p' /etc/apt/sources.list.d/*.sources 2>/dev/null |
    head -n 1)
  [[ -n "$mirror" ]] ||
    mirror=$(sed -n 's/^deb[[:space:]]\+\(\[[^]]*\][[:space:]]\+\)\?\([^[:space:]]*\).*/\2/p' \
      /etc/apt/sources.list 2>/dev/null | head -n 1)
  echo "${mirror:-http://deb.debian.org/debian}"
}

# Makes the root at $CONTAINER_ROOT unless a complete one is there. One maker at a time (a lock beside it);
# a half-made root is never taken for a whole one.
container_make_root() {
  mkdir -p "$(dirname "$CONTAINER_ROOT")"
  (
    flock 9
    [[ -f "$CONTAINER_ROOT/.complete" ]] && exit 0
    local mirror partial="$CONTAINER_ROOT.partial"
    mirror=$(container_mirror)
    echo "making the container root $CONTAINER_ROOT from $mirror (once, about a minute or more)"
    rm -rf "$partial" "$CONTAINER_ROOT"
    debootstrap --variant=minbase --include="$CONTAINER_PACKAGES" bookworm "$partial" "$mirror" \
      > "$partial.log" 2>&1 || { tail -n 20 "$partial.log" >&2; exit 1; }
    touch "$partial/.complete"
    mv "$partial" "$CONTAINER_ROOT"
    rm -f "$partial.log"
  ) 9> "$CONTAINER_ROOT.lock"
}

# container_boot SHARED SECONDS: boots the root with the folder SHARED at /vorel-test; the unit
# vorel-test.service runs /vorel-test/scenario (its output in /vorel-test/scenario.log, its exit status in
# /vorel-test/scenario.status) and powers the container off when it ends. Runs in the foreground for at
# most SECONDS; the boot's console goes to SHARED/boot.log.
container_boot() {
  local shared="$1" seconds="$2"
  cat > "$shared/vorel-test.service" << 'UNIT'
[Unit]
Description=Vorel container test scenario
After=multi-user.target
SuccessAction=poweroff-force
FailureAction=poweroff-force

[Service]
Type=oneshot
ExecStart=/bin/sh -c '/vorel-test/scenario > /vorel-test/scenario.log 2>&1; echo $? > /vorel-test/scenario.status'
TimeoutStartSec=infinity
UNIT
  rm -f "$shared/scenario.status"
  timeout --kill-after=10 "$seconds" systemd-nspawn --quiet --register=no --keep-unit --volatile=overlay \
    --bind="$shared:/vorel-test" \
    --bind-ro="$shared/vorel-test.service:/etc/systemd/system/vorel-test.service" \
    -b -D "$CONTAINER_ROOT" systemd.wants=vorel-test.service > "$shared/boot.log" 2>&1
}

# ---- The host's side of a test (BUILD: the build folder) ----

# container_test SCENARIO: a work folder WORK whose SHARED goes to the container as /vorel-test, with a sample
# clinic, the scenario and inside.sh, which the scenario sources; the portal's update UPDATE (the service program with bytes of its own at the end,
# so that its checksum UPDATE_SUM tells it apart). At exit the programs in CONTAINER_PIDS end and WORK is
# removed (KEEP_WORK=1 keeps it).
container_test() {
  WORK="$(mktemp -d)"
  SHARED="$WORK/shared"
  CONTAINER_PIDS=()
  trap container_cleanup EXIT
  mkdir -p "$SHARED"
  "$BUILD/vorel_sample_clinic" "$SHARED/clinic" --patients 50 > /dev/null
  UPDATE="$WORK/update"
  cp "$BUILD/vorel_service" "$UPDATE"
  echo "update of the container test" >> "$UPDATE"
  UPDATE_SUM=$(sha256sum "$UPDATE" | cut -c1-64)
  cp "$1" "$SHARED/scenario"
  cp "$CONTAINER_HERE/inside.sh" "$SHARED/inside.sh"
  chmod +x "$SHARED/scenario"
}

container_cleanup() {
  for pid in "${CONTAINER_PIDS[@]}"; do
    kill -TERM "$pid" 2> /dev/null || true
    wait "$pid" 2> /dev/null || true
  done
  if [[ -n "${KEEP_WORK:-}" ]]; then echo "kept $WORK"; else rm -rf "$WORK"; fi
}

# Ends the test with the message and what the container left in SHARED.
fail() {
  echo "FAIL: $*" >&2
  for f in observed results final scenario.log journal.txt dpkg-install.log dpkg-upgrade.log dpkg-purge.log; do
    [[ -f "$SHARED/$f" ]] && { echo "--- $f:" >&2; tail -n 30 "$SHARED/$f" >&2; }
  done
  exit 1
}

wait_for() {  # wait_for SECONDS COMMAND...: until the command succeeds
  local limit=$(($1 * 4))
  shift
  for _ in $(seq "$limit"); do "$@" && return 0; sleep 0.25; done
  return 1
}

# container_portal: starts a portal simulator that serves UPDATE; its address in PORTAL_URL, its host and
# port in PORTAL_HOST.
container_portal() {
  local log="$WORK/portal-${#CONTAINER_PIDS[@]}.log"
  "$BUILD/vorel_portal" --hold-ms 1000 --update-file "$UPDATE" < /dev/null > "$log" 2>&1 &
  CONTAINER_PIDS+=($!)
  wait_for 5 grep -q '^PORTAL_URL=' "$log" || fail "the simulator did not start"
  PORTAL_URL=$(sed -n 's/^PORTAL_URL=//p' "$log")
  PORTAL_HOST=${PORTAL_URL#http://}
  PORTAL_HOST=${PORTAL_HOST%/}
}

# container_start SECONDS: boots the container in the background.
container_start() {
  container_boot "$SHARED" "$1" &
  BOOT_PID=$!
  CONTAINER_PIDS+=("$BOOT_PID")
}

# The scenario notes in SHARED/observed a line "UNIT STATE pid=N start=TEXT exe=SHA256" whenever it changes.
last_seen() { grep "^$1 " "$SHARED/observed" 2> /dev/null | tail -n 1; }
pid_of() { last_seen "$1" | sed 's/.* pid=\([0-9]*\) .*/\1/'; }
starts_of() { grep "^$1 active " "$SHARED/observed" 2> /dev/null | sed 's/.* start=\(.*\) exe=.*/\1/' | sort -u | wc -l; }
# A first request carries the exports and no session token.
first_requests() { curl -s "${1}api/requests" | grep ' spec=\[' | grep -vc ' sess=' || true; }
is_back() {  # is_back UNIT PORTAL_URL N: the N-th start of the unit runs and has sent its first request
  [[ "$(first_requests "$2")" -ge "$3" && "$(starts_of "$1")" -ge "$3" ]] && last_seen "$1" | grep -q " active "
}
runs_update() {  # runs_update UNIT PORTAL_URL N: as is_back, running the portal's update
  is_back "$@" && last_seen "$1" | grep -q " exe=$UPDATE_SUM\$"
}
portal_command() {  # portal_command PORTAL_URL LINE: the answer to the command
  curl -s --max-time 40 --data-binary "$2" "${1}api/command?wait=30"
}

# Run as `container.sh --check BUILD_DIR`: one line saying whether `make test` boots the container.
if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  missing=$(container_missing)
  if [[ -z "$missing" ]]; then
    echo "systemd container tests: this machine runs them"
  elif [[ "${CI:-}" == "true" ]]; then
    echo "systemd container tests: FAIL under CI, this machine lacks:$missing"
  else
    echo "systemd container tests: SKIPPED, this machine lacks:$missing"
  fi
fi
