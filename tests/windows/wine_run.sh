#!/bin/bash
# Runs a Windows test program under Wine in the prefix that tests/windows/run_under_wine.sh prepared
# (WINEPREFIX, LC_ALL and a persistent wineserver are set there).
if [ -z "$WINEPREFIX" ]; then
  echo "wine_run.sh: WINEPREFIX is not set; run the Windows tests through tests/windows/run_under_wine.sh" >&2
  exit 2
fi
export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$@"
