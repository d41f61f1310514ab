#!/usr/bin/env bash
# Builds the Debian package of the service from a build folder:
#   packaging/build_deb.sh BUILD_DIR VERSION [OUT_DIR]  ->  OUT_DIR/vorel-service_VERSION_amd64.deb
# (OUT_DIR: the build folder when not given).
# The program goes to /opt/vorel-service/, vorel_service on the PATH (/usr/bin), the units to
# /lib/systemd/system/; Depends lists the run-time libraries the program links (dpkg-shlibdeps).
set -euo pipefail
build=$(cd "${1:?usage: build_deb.sh BUILD_DIR VERSION}" && pwd)
version=${2:?usage: build_deb.sh BUILD_DIR VERSION}
out=$(cd "${3:-$build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work="$out/package-$version"
root="$work/root"
deb="$out/vorel-service_${version}_amd64.deb"

rm -rf "$work"
mkdir -p "$root/DEBIAN"
"$here/install_tree.sh" "$build" "$root" /opt/vorel-service /usr/bin /lib/systemd/system

# dpkg-shlibdeps reads the package's name from a debian/control of its own.
mkdir -p "$work/debian"
printf 'Source: vorel-service\n\nPackage: vorel-service\nArchitecture: amd64\n' > "$work/debian/control"
libraries=$(cd "$work" && dpkg-shlibdeps -O "$root/opt/vorel-service/vorel_service" 2> /dev/null |
  sed -n 's/^shlibs:Depends=//p')
[[ -n "$libraries" ]] || { echo "package: dpkg-shlibdeps found no libraries" >&2; exit 1; }

cat > "$root/DEBIAN/control" << CONTROL
Package: vorel-service
Version: $version
Architecture: amd64
Maintainer: Vorel service team <vorel-service@localhost>
Section: net
Priority: optional
Depends: $libraries, init-system-helpers (>= 1.54~)
Installed-Size: $(du -sk "$root" --exclude=DEBIAN | cut -f1)
Description: clinic reception desk to online booking portal service
 Connects a clinic's reception desk database (Visual FoxPro tables) to an
 online booking portal: publishes reference tables and free slots and carries
 out the portal's bookings, cancellations and administration commands.
 Runs as the systemd service VorelService; VorelService@NAME runs one more
 clinic with the state store /var/lib/vorel_service/NAME.db.
CONTROL
install -m 0755 "$here/debian/postinst" "$here/debian/prerm" "$here/debian/postrm" "$root/DEBIAN/"
dpkg-deb --root-owner-group -Zgzip --build "$root" "$deb" > /dev/null
rm -rf "$work"
echo "$deb"
