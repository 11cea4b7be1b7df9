#!/usr/bin/env bash
# The install tree and the Debian package: every file in place, the desktop
# entry and the metainfo valid, the installed programs run (without a display),
# and lintian finds no error in the package (its warnings are listed).
#
#   check_install.sh BUILD_DIR VERSION
set -euo pipefail
build=$1 version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

id=org.tcal.TCal
files=(bin/tcal bin/tcal-sim bin/tcal-cli share/applications/$id.desktop share/metainfo/$id.metainfo.xml
       share/icons/hicolor/scalable/apps/$id.svg share/man/man1/tcal.1.gz share/man/man1/tcal-sim.1.gz
       share/man/man1/tcal-cli.1.gz share/doc/tcal/copyright share/doc/tcal/changelog.gz)
for size in 16 24 32 48 64 128 256; do files+=("share/icons/hicolor/${size}x${size}/apps/$id.png"); done

check_programs() {
  local run=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM)
  [ "$("${run[@]}" "$1/tcal" --version)" = "tcal $version" ] || fail "$1/tcal --version"
  [ "$("${run[@]}" "$1/tcal-sim" --version)" = "tcal-sim $version" ] || fail "$1/tcal-sim --version"
  [ "$("${run[@]}" "$1/tcal-cli" --version)" = "tcal-cli $version" ] || fail "$1/tcal-cli --version"
  "${run[@]}" "$1/tcal" --help | grep -q -- '--port' || fail "$1/tcal --help lacks --port"
}

cmake --install "$build" --prefix "$work/tree" > "$work/log" || { cat "$work/log"; fail "install"; }
for f in "${files[@]}"; do [ -f "$work/tree/$f" ] || fail "install tree lacks $f"; done
desktop-file-validate "$work/tree/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net "$work/tree/share/metainfo/$id.metainfo.xml" || fail "metainfo"
check_programs "$work/tree/bin"

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/pkg") > "$work/log" 2>&1 \
  || { cat "$work/log"; fail "cpack"; }
deb=$(ls "$work"/pkg/*.deb)
dpkg-deb -c "$deb" | awk '{print $6}' > "$work/contents"
for f in "${files[@]}"; do grep -qx "./usr/$f" "$work/contents" || fail "package lacks /usr/$f"; done
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in 'libqt[56]widgets[56]' 'libqt[56]serialbus[56]' 'libqt[56]serialport[56]' 'libqt[56]sql[56]-sqlite' \
           libmodbus5 libc6; do
  grep -Eq "(^|, )$lib" <<< "$depends" || fail "Depends lacks $lib"
done
command -v lintian > /dev/null || fail "lintian is missing (scripts/install-deps.sh)"
lintian --no-cfg "$deb" > "$work/lintian" 2>&1 || true
grep -v '^running with root' "$work/lintian" || true
! grep -q '^E:' "$work/lintian" || fail "lintian reports errors"
grep -q "project_license>Apache-2.0<" "$work/tree/share/metainfo/$id.metainfo.xml" || fail "metainfo licence"
dpkg-deb -x "$deb" "$work/root"
check_programs "$work/root/usr/bin"
echo "install tree and package: ok ($(basename "$deb"))"
