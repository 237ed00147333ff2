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
for size in 16 22 24 32 48 64 128 256; do
  need share/icons/hicolor/${size}x${size}/apps/kestrova.png
done
need share/metainfo/org.example.kestrova.metainfo.xml
need share/mime/packages/kestrova-log.xml
need share/icons/hicolor/scalable/apps/kestrova.svg
need share/doc/kestrova/README.md
need lib/systemd/system/kestrova.service
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

# Each icon a PNG of its size: the signature, then width and height in the
# IHDR chunk.
for size in 16 22 24 32 48 64 128 256; do
  png="$prefix/share/icons/hicolor/${size}x${size}/apps/kestrova.png"
  sig=$(od -An -tx1 -N8 "$png" | tr -d ' \n')
  dims=$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')
  [ "$sig" = 89504e470d0a1a0a ] || { echo "$png is not a PNG"; exit 1; }
  side=$(printf '%08x' "$size")
  [ "$dims" = "$side$side" ] || { echo "$png is not $size x $size ($dims)"; exit 1; }
done

grep -q '<svg' "$prefix/share/icons/hicolor/scalable/apps/kestrova.svg" ||
  { echo "kestrova.svg is not an SVG"; exit 1; }

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/kestrova.desktop"
  desktop-file-validate "$prefix/share/applications/kestrova-history.desktop"
else
  echo "desktop-file-validate not installed; entry not validated"
fi
[ -x "$prefix/bin/kestrova-history" ] || { echo "kestrova-history is not executable"; exit 1; }
# The history opens the data log by a type of the log's own, never every text
# file; the type's glob catches the log's name.
grep -qx 'MimeType=text/x-kestrova-log;' "$prefix/share/applications/kestrova-history.desktop" ||
  { echo "kestrova-history.desktop does not claim the data log's type alone"; exit 1; }
if command -v update-mime-database >/dev/null; then
  mime=$(mktemp -d)
  trap 'rm -rf "$prefix" "$mime"' EXIT
  mkdir "$mime/packages"
  cp "$prefix/share/mime/packages/kestrova-log.xml" "$mime/packages/"
  update-mime-database "$mime" >/dev/null 2>&1
  [ -f "$mime/text/x-kestrova-log.xml" ] || { echo "kestrova-log.xml defines no type"; exit 1; }
  # Case-sensitive (":cs"): a glob that is not is kept in lower case, and
  # generic lookups then take the log for text/plain.
  grep -qx '60:text/x-kestrova-log:TARNWICK.txt:cs' "$mime/globs2" ||
    { echo "the data log's exact name does not select its type"; exit 1; }
else
  echo "update-mime-database not installed; the log's type not checked"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/org.example.kestrova.metainfo.xml" >/dev/null ||
    { appstreamcli validate --no-net "$prefix/share/metainfo/org.example.kestrova.metainfo.xml"; exit 1; }
else
  echo "appstreamcli not installed; metainfo not validated"
fi
grep -q '^License: GPL-3.0-or-later' "$prefix/share/doc/kestrova/copyright" ||
  { echo "copyright does not name the licence"; exit 1; }
grep -q '^connection ' "$prefix/share/doc/kestrova/examples/mosquitto-bridge.conf" ||
  { echo "mosquitto-bridge.conf is not a bridge configuration"; exit 1; }
for page in "$prefix"/share/man/man1/*.1.gz; do
  gzip -dc "$page" | grep -q '^\.TH ' || { echo "$page is not a manual page"; exit 1; }
done
# The unit starts the program where this install put it.
unit="$prefix/lib/systemd/system/kestrova.service"
exec_start=$(sed -n 's/^ExecStart=//p' "$unit")
[ "$exec_start" = "$prefix/bin/kestrova" ] ||
  { echo "the unit starts $exec_start, not $prefix/bin/kestrova"; exit 1; }
# Every picture and page the installed README links to is there beside it.
readme="$prefix/share/doc/kestrova/README.md"
while IFS= read -r link; do
  [ -e "$(dirname "$readme")/$link" ] || { echo "README.md links $link, which is not installed"; fail=1; }
done < <(grep -o '](docs/[^)# ]*)' "$readme" | sed 's/^](//; s/)$//' | sort -u)
[ $fail -eq 0 ] || exit 1
echo "install layout ok"
