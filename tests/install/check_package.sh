#!/usr/bin/env bash
# Checks that a Debian package's Depends names the package of every library
# a packaged program links, so that apt-get install of the .deb on a clean
# system brings everything the programs need to start.
#   check_package.sh BUILD_DIR    builds the package with cpack (which runs
#                                 this check on it too), then checks it
#   check_package.sh --deb FILE   checks FILE (cpack's own check)
set -euo pipefail
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

if [ "$1" = --deb ]; then
  deb=$2
else
  build=$(cd "$1" && pwd)
  if ! (cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1); then
    cat "$out/cpack.log"
    exit 1
  fi
  debs=("$out"/*.deb)
  deb=${debs[0]}
  [ -f "$deb" ] || { echo "cpack made no .deb"; cat "$out/cpack.log"; exit 1; }
fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# The package names that Depends offers, alternatives included.
mapfile -t offered < <(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/:.*//; s/ //g' | grep .)
covered() {
  local p
  for p in "${offered[@]}"; do [ "$p" = "$1" ] && return 0; done
  return 1
}

# The package that holds a library file; Debian's merged /usr lists some of
# them under /lib and some under /usr/lib.
owner() {
  local path=$1 try
  for try in "$path" "$(readlink -f "$path")" "${path#/usr}" "/usr${path}"; do
    if dpkg-query -S "$try" >/dev/null 2>&1; then
      dpkg-query -S "$try" | head -n1 | sed 's/: .*//; s/:[a-z0-9_-]*//g; s/, /\n/g'
      return 0
    fi
  done
  return 1
}

dpkg-deb -x "$deb" "$out/root"
fail=0
programs=0
while IFS= read -r -d '' file; do
  [ "$(head -c4 "$file" | od -An -c | tr -d ' ')" = '177ELF' ] || continue
  programs=$((programs + 1))
  name=${file#"$out/root"}
  needed=$(readelf -d "$file" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
  resolved=$(ldd "$file")
  for lib in $needed; do
    # "libx.so.1 => /path (...)", or the loader itself as "/path/ld-….so.2 (...)".
    path=$(awk -v lib="$lib" '
      $1 == lib && $2 == "=>" { print $3; exit }
      { n = split($1, part, "/"); if (n > 1 && part[n] == lib) { print $1; exit } }' <<<"$resolved")
    if [ -z "$path" ] || [ "$path" = "not" ]; then
      echo "$name: $lib is not found on this system"; fail=1; continue
    fi
    if ! packages=$(owner "$path"); then
      echo "$name: $lib ($path) belongs to no installed package"; fail=1; continue
    fi
    ok=0
    for p in $packages; do covered "$p" && ok=1; done
    [ $ok -eq 1 ] || { echo "$name links $lib from $packages, which Depends lacks"; fail=1; }
  done
done < <(find "$out/root" -type f -perm -u+x -print0)
[ $programs -gt 0 ] || { echo "no program in the package"; exit 1; }
[ $fail -eq 0 ] || exit 1
echo "package dependencies ok ($programs programs)"
