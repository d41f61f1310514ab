#!/usr/bin/env bash
# Builds the Windows installer of the service with wixl (Debian's msitools):
#   packaging/windows/build_msi.sh PROGRAM VERSION [OUT_DIR]  ->  OUT_DIR/vorel-service-VERSION.msi
# PROGRAM: vorel_service.exe; VERSION: the service version, three digits or more (620 is the installer's
# product version 6.2.0, as the program's version resource has it); OUT_DIR: the program's folder when not
# given.
set -euo pipefail
program=$(realpath "${1:?usage: build_msi.sh PROGRAM VERSION [OUT_DIR]}")
version=${2:?usage: build_msi.sh PROGRAM VERSION [OUT_DIR]}
out=$(cd "${3:-$(dirname "$program")}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
[[ "$version" =~ ^([0-9]+)([0-9])([0-9])$ ]] || { echo "build_msi.sh: bad version '$version'" >&2; exit 2; }
product_version="${BASH_REMATCH[1]}.${BASH_REMATCH[2]}.${BASH_REMATCH[3]}"
command -v wixl > /dev/null || { echo "build_msi.sh: wixl is missing (package wixl)" >&2; exit 1; }
msi="$out/vorel-service-$version.msi"
# wixl takes the program's name relative to the folder it runs in.
(cd "$(dirname "$program")" &&
  wixl -a x64 -D "Version=$product_version" -D "Program=$(basename "$program")" -o "$msi" \
    "$here/vorel_service.wxs")
echo "$msi"
