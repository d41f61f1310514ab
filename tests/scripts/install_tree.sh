#!/usr/bin/env bash
# make install's tree under DESTDIR with a PREFIX: the program in a folder of its own, vorel_service on the
# PATH, both units naming the installed program, and updates kept apart from it.
set -euo pipefail
BUILD="$(cd "$1" && pwd)"
HERE="$(cd "$(dirname "$0")" && pwd)"
DEST="$(mktemp -d)"
trap 'rm -rf "$DEST"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$HERE/../../packaging/install_tree.sh" "$BUILD" "$DEST" /usr/local/lib/vorel-service /usr/local/bin \
  /usr/local/lib/systemd/system
program="$DEST/usr/local/lib/vorel-service/vorel_service"
[[ -x "$program" ]] || fail "no program"
[[ "$(readlink "$DEST/usr/local/bin/vorel_service")" == /usr/local/lib/vorel-service/vorel_service ]] ||
  fail "vorel_service on the PATH: $(readlink "$DEST/usr/local/bin/vorel_service")"
"$program" --version > /dev/null || fail "the installed program does not run"
for unit in VorelService.service VorelService@.service; do
  text=$(cat "$DEST/usr/local/lib/systemd/system/$unit")
  grep -qx 'ExecStart="/usr/local/lib/vorel-service/vorel_service"' <<< "$text" || fail "$unit: $text"
  grep -qx 'Environment="VOREL_UPDATE_FOLDER=/var/lib/vorel_service/update"' <<< "$text" || fail "$unit: $text"
done
grep -qx 'Environment="VOREL_STATE=/var/lib/vorel_service/%i.db"' \
  "$DEST/usr/local/lib/systemd/system/VorelService@.service" || fail "template store"
echo "install tree: ok"
