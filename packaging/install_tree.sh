#!/usr/bin/env bash
# Installs the service into a tree: the program in a folder of its own, the name vorel_service on the PATH,
# and the systemd units (VorelService.service and the template VorelService@.service).
#   packaging/install_tree.sh BUILD_DIR DESTDIR PROGRAM_DIR BIN_DIR UNIT_DIR
# The program stays as installed: adm_update keeps the portal's program in /var/lib/vorel_service/update,
# which the installed program runs in its place while that one is newer.
set -euo pipefail
build=${1:?usage: install_tree.sh BUILD_DIR DESTDIR PROGRAM_DIR BIN_DIR UNIT_DIR}
destdir=$2
program_dir=${3:?}
bin_dir=${4:?}
unit_dir=${5:?}
state_dir=/var/lib/vorel_service

for program in vorel_service vorel_unit_file; do
  [[ -x "$build/$program" ]] || { echo "install: $build/$program is missing; build first" >&2; exit 1; }
done
install -d "$destdir$program_dir" "$destdir$bin_dir" "$destdir$unit_dir"
install -m 0755 --strip "$build/vorel_service" "$destdir$program_dir/vorel_service"
ln -sfn "$program_dir/vorel_service" "$destdir$bin_dir/vorel_service"
"$build/vorel_unit_file" --program "$program_dir/vorel_service" --state "$state_dir/state.db" \
  --update-folder "$state_dir/update" > "$destdir$unit_dir/VorelService.service"
"$build/vorel_unit_file" --template --program "$program_dir/vorel_service" --state "$state_dir" \
  --update-folder "$state_dir/update" > "$destdir$unit_dir/VorelService@.service"
chmod 0644 "$destdir$unit_dir/VorelService.service" "$destdir$unit_dir/VorelService@.service"
