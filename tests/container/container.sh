# Booting a real systemd in a container for the tests that need one. Sourced by tests/container/*_test.sh;
# run with --check BUILD_DIR it says whether this machine can boot it.
#
# The root is a Debian 12 tree made once with debootstrap and kept under the build folder; every boot runs
# on a throw-away overlay of it (--volatile=overlay), so a test never sees what another left behind. The
# container shares the host's network: a portal simulator on the host's 127.0.0.1 is reachable from inside.

CONTAINER_PACKAGES="systemd,systemd-sysv,dbus,libcurl4,libsqlite3-0,zlib1g"

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

# Run as `container.sh --check BUILD_DIR`: one line saying whether `make test` boots the container.
if [[ "${BASH_SOURCE[0]}" == "$0" && "${1:-}" == "--check" ]]; then
  CONTAINER_ROOT="${2:-build}/container-root"
  missing=$(container_missing)
  if [[ -z "$missing" ]]; then
    echo "systemd container tests: this machine runs them"
  elif [[ "${CI:-}" == "true" ]]; then
    echo "systemd container tests: FAIL under CI, this machine lacks:$missing"
  else
    echo "systemd container tests: SKIPPED, this machine lacks:$missing"
  fi
fi
