#!/usr/bin/env bash
# Runs every built fuzz target for FUZZ_SECONDS on a scratch copy of its seed corpus (fuzz/corpus/<name>/).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=${FUZZ_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-10}
shopt -s nullglob
targets=("$dir"/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then echo "no fuzz targets"; exit 0; fi
for target in "${targets[@]}"; do
  name=${target##*/fuzz_}
  work=$(mktemp -d)
  [ -d "$here/corpus/$name" ] && cp -r "$here/corpus/$name/." "$work/"
  echo "== fuzz $name for ${seconds}s"
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=0 "$work" 2>"$work.log" \
    || { tail -n 60 "$work.log"; rm -rf "$work" "$work.log"; exit 1; }
  grep -E "^Done|DONE" "$work.log" | tail -n 1 || true
  rm -rf "$work" "$work.log"
done
