#!/usr/bin/env bash
# What `cmake --install` and `cpack -G DEB` make of a build:
#   install_check.sh BUILD_DIR
set -euo pipefail
build=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
stage="$PWD/stage"
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
[ -x "$stage/usr/bin/pim" ] || fail "no pim in bin"
[ -x "$stage/usr/libexec/pim/pim" ] || fail "no tray instance in libexec/pim"
"$stage/usr/bin/pim" --version | grep -q '^Pim ' || fail "the installed command does not run"
# The command needs the C library only: no Qt is loaded to ask the instance.
ldd "$stage/usr/bin/pim" | grep -qi qt && fail "the command links Qt"
desktop="$stage/usr/share/applications/pim.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
[ -f "$stage/usr/share/icons/hicolor/scalable/apps/pim.svg" ] || fail "no icon"
desktop-file-validate "$desktop" || fail "the desktop entry does not validate"
grep -q '^Exec=pim area$' "$desktop" || fail "no area action"
grep -q '^Exec=pim full$' "$desktop" || fail "no full-screen action"

(cd "$PWD" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$PWD/package" >/dev/null) || fail "cpack failed"
deb=$(ls "$PWD"/package/pim_*.deb | head -n1)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libtesseract5 tesseract-ocr-fra qt6-image-formats-plugins libqt6sql6-sqlite tzdata qt6-translations-l10n; do
  grep -q "$needed" <<<"$depends" || fail "the package does not depend on $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for wanted in qt6-wayland xdg-desktop-portal; do
  grep -q "$wanted" <<<"$recommends" || fail "the package does not recommend $wanted: $recommends"
done
dpkg-deb -c "$deb" >contents.txt
grep -q './usr/bin/pim$' contents.txt || fail "the package holds no pim"
grep -q './usr/libexec/pim/pim$' contents.txt || fail "the package holds no tray instance"
echo "install: ok"
