#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
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

# The manual page: renders without a warning and names every command `pim --help` lists.
manual="$stage/usr/share/man/man1/pim.1.gz"
[ -f "$manual" ] || fail "no manual page"
warnings=$(zcat "$manual" | groff -k -man -Tutf8 -ww -z 2>&1) || fail "the manual page does not render"
[ -z "$warnings" ] || fail "the manual page has warnings: $warnings"
zcat "$manual" | grep -q "Pim $("$stage/usr/bin/pim" --version | cut -d' ' -f2)" || fail "the manual page names another version"
commands=$("$stage/usr/bin/pim" --help | sed -n 's/^  pim \([a-z][a-z-]*\).*/\1/p')
[ -n "$commands" ] || fail "pim --help lists no command"
for command in $commands; do
  zcat "$manual" | grep -qxF ".B pim ${command//-/\\-}" || fail "the manual page does not describe $command"
done

# The completion: every command after `pim`, --delay after full, pictures and folders after edit.
completion="$stage/usr/share/bash-completion/completions/pim"
[ -f "$completion" ] || fail "no bash completion"
complete_line() { # complete_line WORD… : what the completion offers for the last word
  bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _pim; printf "%s\n" "${COMPREPLY[@]}" | sort' \
    complete "$completion" "$@"
}
offered=$(complete_line pim "")
for command in $commands; do
  grep -qx -- "$command" <<<"$offered" || fail "the completion does not offer $command: $offered"
done
[ "$(complete_line pim pr)" = preferences ] || fail "pim pr does not complete to preferences"
[ "$(complete_line pim full "")" = --delay ] || fail "pim full does not offer --delay"
mkdir -p pictures/folder && touch pictures/a.png pictures/b.JPEG pictures/c.webp pictures/notes.txt
[ "$(cd pictures && complete_line pim edit "" | tr '\n' ' ')" = "a.png b.JPEG c.webp folder " ] ||
  fail "pim edit offers $(cd pictures && complete_line pim edit "" | tr '\n' ' ')"

# The AppStream description validates and launches the desktop entry; the licence is there.
metainfo="$stage/usr/share/metainfo/org.pim_screenshot.Pim.metainfo.xml"
[ -f "$metainfo" ] || fail "no AppStream metainfo"
appstreamcli validate --no-net "$metainfo" || fail "the metainfo does not validate"
grep -q '<launchable type="desktop-id">pim.desktop</launchable>' "$metainfo" || fail "the metainfo launches no desktop entry"
grep -q "<release version=\"$("$stage/usr/bin/pim" --version | cut -d' ' -f2)\"" "$metainfo" || fail "the metainfo names another release"
grep -q 'GNU GENERAL PUBLIC LICENSE' "$stage/usr/share/doc/pim/copyright" || fail "no licence in doc/pim"

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
for file in usr/share/man/man1/pim.1.gz usr/share/bash-completion/completions/pim \
  usr/share/metainfo/org.pim_screenshot.Pim.metainfo.xml usr/share/doc/pim/copyright; do
  grep -q "\./$file\$" contents.txt || fail "the package holds no $file"
done
echo "install: ok"
