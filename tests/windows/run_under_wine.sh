#!/bin/bash
# Runs the Windows test programs under Wine, then the end-to-end tests of the service and of its installer,
# in one fresh prefix.
#   run_under_wine.sh WINDOWS_BUILD_DIR POSIX_BUILD_DIR [JOBS]
# WINE_TESTS=REGEX runs only the test programs it matches, without the end-to-end test.
# The prefix is created under a Russian locale, so the ANSI code page is 1251, the OEM code page 866 and
# short dates dd.MM.yyyy, as on the clinics' machines. One wineserver is kept alive for the whole run
# (services die with the last Wine process otherwise) and killed at the end with the prefix.
set -euo pipefail
win_dir=$(realpath "$1")
posix_dir=$(realpath "$2")
jobs=${3:-$(nproc)}
here=$(cd "$(dirname "$0")" && pwd)

export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/vorel_wine.XXXXXX)
export LC_ALL=ru_RU.UTF-8 WINEDEBUG=-all WINEARCH=win64
# No Mono or Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="mscoree=;mshtml="
cleanup() {
  wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$WINEPREFIX.locale"
}
trap cleanup EXIT

# Wine stores file names in the host locale's encoding: without a real ru_RU.UTF-8 locale it cannot keep
# Cyrillic names, and the tests of such names skip themselves. Compile one for this run when the host has none.
if ! locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then
  export LOCPATH="$WINEPREFIX.locale"
  mkdir -p "$LOCPATH"
  localedef -i ru_RU -f UTF-8 "$LOCPATH/ru_RU.UTF-8" > /dev/null 2>&1 ||
    echo "no ru_RU.UTF-8 locale could be made: tests of Cyrillic file names will be skipped"
fi

started=$(date +%s)
# The first boot of a prefix goes on in the background after wineboot returns (and restarts the service
# manager, which forgets services registered meanwhile): wait until every Wine process has ended, then keep
# one server for the run.
wineboot --init > /dev/null 2>&1 < /dev/null
wineserver -w
wineserver -p
# The session's own processes (service manager and the like) start now, away from the output pipes of
# the tests, which they would otherwise hold open for as long as they live.
wineboot > /dev/null 2>&1 < /dev/null
echo "Wine prefix ready in $(($(date +%s) - started)) s"

if [ -n "${WINE_TESTS:-}" ]; then
  (cd "$win_dir" && ctest --output-on-failure -j "$jobs" -R "$WINE_TESTS")
else
  # The crash test goes last: while its processes are being ended, and for a stretch after, Wine fails the
  # sockets of other programs (WSAENOTSOCK), which the HTTP tests and the service's own runs need.
  (cd "$win_dir" && ctest --output-on-failure -j "$jobs" -E '^crash_tests$')
  bash "$here/service_e2e.sh" "$win_dir" "$posix_dir"
  bash "$here/package_e2e.sh" "$win_dir" "$posix_dir"
  (cd "$win_dir" && ctest --output-on-failure -R '^crash_tests$')
fi
echo "Windows part took $(($(date +%s) - started)) s"
