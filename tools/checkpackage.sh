#!/usr/bin/env bash
# Checks the package that `cmake --build BUILD --target package` made: the
# files an installed program needs, a menu entry the desktop accepts, the
# dependencies it cannot do without, scripts that do nothing but refresh the
# linker's cache (CPack adds them for any library under /usr/lib), so that
# nothing can touch a user's data, and that the installed command runs.
#   bash tools/checkpackage.sh [BUILD]
set -euo pipefail
build=${1:-build}
deb="$build/mvlab.deb"
fail() { echo "checkpackage: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "no package at $deb"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for f in ./usr/bin/mvlab ./usr/lib/mvlab/ProjectMvDocument ./usr/lib/mvlab/mvwebwindows.so \
         ./usr/lib/mvlab/libmvdata.so ./usr/lib/mvlab/libmvappshell.so ./usr/lib/mvlab/libmvwidgets.so \
         ./usr/lib/mvlab/libmvcategories.so ./usr/lib/mvlab/libmvcategorydialogs.so \
         ./usr/share/applications/mvlab.desktop ./usr/share/man/man1/mvlab.1.gz \
         ./usr/share/icons/hicolor/scalable/apps/mvlab.svg; do
  grep -qxF "$f" <<<"$files" || fail "$f is not in the package"
done
for size in 16 22 24 32 48 64 128 256; do
  grep -qxF "./usr/share/icons/hicolor/${size}x${size}/apps/mvlab.png" <<<"$files" \
    || fail "no ${size}x${size} icon in the package"
done

depends=$(dpkg-deb -f "$deb" Depends)
for p in firebird3.0-server-core libfbclient2 fonts-noto-cjk libqt6webenginecore6-bin \
         libqt6core6 libqt6widgets6 libqt6webenginewidgets6; do
  grep -qE "(^|[ ,|])$p( |,|$)" <<<"$depends" || fail "Depends lacks $p: $depends"
done

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
dpkg-deb -e "$deb" "$tmp/control"
for script in preinst postinst prerm postrm; do
  [ -e "$tmp/control/$script" ] || continue
  other=$(grep -vE '^(#!/bin/sh|set -e|if \[ "\$1" = "(configure|remove)" \]; then|[[:space:]]*ldconfig|fi|)$' \
            "$tmp/control/$script" || true)
  [ -z "$other" ] || fail "the $script script does more than run ldconfig: $other"
done
dpkg-deb -x "$deb" "$tmp/root"
report=$(desktop-file-validate "$tmp/root/usr/share/applications/mvlab.desktop" 2>&1) \
  || fail "desktop-file-validate: $report"
[ -z "$report" ] || fail "desktop-file-validate: $report"
# The link in bin reaches the program; --version needs no display.
"$tmp/root/usr/bin/mvlab" --version | grep -q "$(dpkg-deb -f "$deb" Version)" \
  || fail "the installed command does not run"
echo "checkpackage: $deb is complete"
