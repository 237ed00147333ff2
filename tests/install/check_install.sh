#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks that every file lands
# where a desktop expects it.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

fail=0
need() {
  if [ ! -e "$prefix/$1" ]; then echo "missing: $1"; fail=1; fi
}
need bin/kestrova
need bin/kestrova-logger-sim
need share/applications/kestrova.desktop
need share/icons/hicolor/32x32/apps/kestrova.png
need share/icons/hicolor/scalable/apps/kestrova.svg
need share/doc/kestrova/README.md
need bin/kestrova-history
need share/applications/kestrova-history.desktop
need share/doc/kestrova/copyright
need share/doc/kestrova/changelog.gz
need share/doc/kestrova/examples/mosquitto-bridge.conf
for page in kestrova kestrova-history kestrova-logger-sim; do
  need share/man/man1/$page.1.gz
done
[ $fail -eq 0 ] || exit 1

[ -x "$prefix/bin/kestrova" ] || { echo "kestrova is not executable"; exit 1; }

# A PNG of 32 x 32: the signature, then width and height in the IHDR chunk.
png="$prefix/share/icons/hicolor/32x32/apps/kestrova.png"
sig=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
size=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
[ "$sig" = 89504e470d0a1a0a ] || { echo "kestrova.png is not a PNG"; exit 1; }
[ "$size" = 0000002000000020 ] || { echo "kestrova.png is not 32 x 32 ($size)"; exit 1; }

grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/kestrova.svg" ||
  { echo "kestrova.svg is not an SVG"; exit 1; }

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kestrova.desktop"
  desktop-file-validate "$prefix/share/applications/kestrova-history.desktop"
else
  echo "desktop-file-validate not installed; entry not validated"
fi
[ -x "$prefix/bin/kestrova-history" ] || { echo "kestrova-history is not executable"; exit 1; }
grep -q '^MimeType=text/plain;' "$prefix/share/applications/kestrova-history.desktop" ||
  { echo "kestrova-history.desktop does not open text files"; exit 1; }
grep -q '^License: GPL-3.0-or-later' "$prefix/share/doc/kestrova/copyright" ||
  { echo "copyright does not name the licence"; exit 1; }
grep -q '^connection ' "$prefix/share/doc/kestrova/examples/mosquitto-bridge.conf" ||
  { echo "mosquitto-bridge.conf is not a bridge configuration"; exit 1; }
for page in "$prefix"/share/man/man1/*.1.gz; do
  gzip -dc "$page" | grep -q '^\.TH ' || { echo "$page is not a manual page"; exit 1; }
done
echo "install layout ok"
