#!/usr/bin/env bash
# deb_roundtrip.sh BUILD_DIR
# Builds the .deb in BUILD_DIR (a configured, built tree), checks its contents,
# its control fields and its metadata, installs it with apt-get, runs the
# installed lens on Xvfb and checks it by screenshot, then removes the
# package. Ends with one PASS or FAIL line. Needs root (or sudo) for apt-get.
set -uo pipefail

if [ $# -ne 1 ] || [ ! -f "$1/CMakeCache.txt" ]; then
  echo "usage: $0 BUILD_DIR (a configured build tree)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
python=/usr/bin/python3 # Debian's own, which has python-xlib
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo

work=$(mktemp -d -t vistrel-deb.XXXXXX)
installed=0
finish() {
  if [ "$installed" = 1 ]; then
    $SUDO apt-get remove -y -qq vistrel >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap finish EXIT

fail() {
  echo "deb round trip: FAIL: $*"
  exit 1
}
step() { echo "== $*"; }

prefix=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[ "$prefix" = /usr ] ||
  fail "$build is configured to install under '$prefix', but the .deb installs under /usr, where that program would not find its data; configure with -DCMAKE_INSTALL_PREFIX=/usr"

step "cpack -G DEB in $build"
rm -f "$build"/vistrel_*.deb
(cd "$build" && cpack -G DEB) >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$build"/vistrel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single vistrel_*.deb"
deb=${debs[0]}
echo "$deb"

step "contents"
dpkg-deb -c "$deb" >"$work/contents" || fail "dpkg-deb -c cannot read $deb"
app=org.vistrel.Vistrel
for path in \
  usr/bin/vistrel \
  usr/bin/vistrel-filter \
  usr/share/applications/$app.desktop \
  usr/share/icons/hicolor/16x16/apps/$app.png \
  usr/share/icons/hicolor/32x32/apps/$app.png \
  usr/share/icons/hicolor/scalable/apps/$app.svg \
  usr/share/metainfo/$app.metainfo.xml \
  usr/share/man/man1/vistrel.1.gz \
  usr/share/man/man1/vistrel-filter.1.gz \
  usr/share/vistrel/Help/VISTREL_HELP.html \
  usr/share/doc/vistrel/copyright; do
  line=$(awk -v p="./$path" '$6 == p' "$work/contents")
  [ -n "$line" ] || fail "the package lacks /$path"
  case $path in
  usr/bin/*) [[ $line == -rwxr-xr-x\ root/root* ]] || fail "/$path is not an executable owned by root: $line" ;;
  *) [[ $line == -rw-r--r--\ root/root* ]] || fail "/$path is not a plain file owned by root: $line" ;;
  esac
done
# Nothing from the build's tests or tools beyond the two programs.
extra=$(awk '$6 ~ /^\.\/usr\/bin\/./ && $6 != "./usr/bin/vistrel" && $6 != "./usr/bin/vistrel-filter"' "$work/contents")
[ -z "$extra" ] || fail "unexpected programs in the package: $extra"

step "control fields"
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vistrel ] || fail "Package is '$(field Package)'"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', the project's is '$version'"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is '$(field Architecture)'"
depends=$(field Depends)
echo "Depends: $depends"
depends_names=$(tr ',|' '\n\n' <<<"$depends" | awk '{print $1}')
for dep in libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins libc6 libstdc++6; do
  grep -qxF "$dep" <<<"$depends_names" || fail "Depends lacks $dep"
done
[ -n "$(field Maintainer)" ] && [ -n "$(field Description)" ] || fail "Maintainer or Description is empty"

step "metadata"
dpkg-deb -x "$deb" "$work/tree" || fail "dpkg-deb -x failed"
appstreamcli validate --no-net "$work/tree/usr/share/metainfo/$app.metainfo.xml" ||
  fail "appstreamcli rejects the metainfo"
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate "$work/tree/usr/share/applications/$app.desktop" 2>&1)
  [ -z "$out" ] || { echo "$out"; fail "desktop-file-validate rejects the desktop entry"; }
  echo "desktop entry valid"
else
  echo "desktop-file-validate not installed: desktop entry not validated"
fi
for page in vistrel vistrel-filter; do
  gzip -t "$work/tree/usr/share/man/man1/$page.1.gz" || fail "man page $page.1.gz is not gzip"
  zcat "$work/tree/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH " || fail "man page $page.1.gz has no .TH"
done
file "$work/tree/usr/bin/vistrel" | grep -q "stripped" && ! file "$work/tree/usr/bin/vistrel" | grep -q "not stripped" ||
  fail "/usr/bin/vistrel is not stripped"

step "apt-get install $deb"
installed=1
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "apt-get install failed"; }
dpkg-query -W -f='${Status}' vistrel | grep -q "install ok installed" || fail "dpkg does not list vistrel as installed"
[ -x /usr/bin/vistrel ] && [ -x /usr/bin/vistrel-filter ] || fail "the programs are not in /usr/bin"
/usr/bin/vistrel-filter --help >/dev/null || fail "the installed vistrel-filter does not run"

step "the installed lens on Xvfb"
artifacts="$build/deb-roundtrip-artifacts"
rm -rf "$artifacts"
"$root/tests/e2e/with_xvfb.sh" 1024x768 \
  "$python" "$root/tests/e2e/harness.py" paint --ppm "$artifacts/desktop.ppm" -- \
  env VISTREL_EXE=/usr/bin/vistrel VISTREL_E2E_ARTIFACTS="$artifacts" \
  "$python" "$root/tests/packaging/installed_lens_test.py" ||
  fail "the installed lens does not show as it should (pictures in $artifacts)"

step "apt-get remove vistrel"
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq vistrel >"$work/remove.log" 2>&1 ||
  { cat "$work/remove.log"; fail "apt-get remove failed"; }
installed=0
! dpkg-query -W -f='${Status}' vistrel 2>/dev/null | grep -q "install ok installed" || fail "vistrel is still installed"
[ ! -e /usr/bin/vistrel ] || fail "/usr/bin/vistrel is still there after removal"

echo "deb round trip: PASS ($(basename "$deb"))"
