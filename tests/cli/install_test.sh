#!/usr/bin/env bash
# Installs the built program into a temporary prefix as "cmake --install"
# does for a user, and checks what lands there: the program (it runs and
# works with no display), the desktop entry and the AppStream metadata
# (both validated), the icon and the manual page.
#   install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >/dev/null

app=org.halvenor.Inventory
for f in bin/halvenor share/applications/$app.desktop share/icons/hicolor/scalable/apps/$app.svg \
         share/metainfo/$app.metainfo.xml share/man/man1/halvenor.1; do
  [ -f "$prefix/$f" ] || fail "$f was not installed"
done
[ -x "$prefix/bin/halvenor" ] || fail "bin/halvenor is not executable"

desktop-file-validate "$prefix/share/applications/$app.desktop" || fail "the desktop entry does not validate"
appstreamcli validate --no-net "$prefix/share/metainfo/$app.metainfo.xml" >/dev/null \
  || fail "the AppStream metadata does not validate"
# The entry starts the installed program by name with the file a file manager passes.
grep -qx 'Exec=halvenor %f' "$prefix/share/applications/$app.desktop" || fail "the entry's Exec line"
grep -qx "Icon=$app" "$prefix/share/applications/$app.desktop" || fail "the entry's icon"
# The icon is an SVG document of its own.
grep -q '<svg ' "$prefix/share/icons/hicolor/scalable/apps/$app.svg" || fail "the icon is no SVG"
# The manual page formats without a warning.
warnings=$(groff -man -Tutf8 -ww -z "$prefix/share/man/man1/halvenor.1" 2>&1)
[ -z "$warnings" ] || fail "the manual page: $warnings"

# The installed program answers with no display and no Qt platform chosen.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/halvenor" --version | grep -q '^halvenor (Halvenor Inventory) ' \
  || fail "the installed program does not tell its version"
home=$(mktemp -d)
trap 'rm -rf "$prefix" "$home"' EXIT
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" \
  HOME="$home" "$prefix/bin/halvenor" report --list >"$home/out" 2>"$home/err"
code=$?
set -e
[ $code -eq 0 ] || fail "report --list exited with $code: $(cat "$home/err")"
grep -qx 'Full Report' "$home/out" || fail "report --list did not list the default reports"
[ ! -s "$home/err" ] || fail "report --list printed on stderr: $(cat "$home/err")"
echo "install: every check passed"
