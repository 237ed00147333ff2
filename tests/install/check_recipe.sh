#!/usr/bin/env bash
# The README's package recipe configures where GoogleTest is not installed:
# a package build needs neither the tests nor the benchmarks.
#   check_recipe.sh SOURCE_DIR
set -euo pipefail
src=$1
line=$(grep -m1 -E '^ +cmake -S \. -B build-rel ' "$src/README.md") ||
  { echo "README.md has no configure line for build-rel"; exit 1; }
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
read -ra args <<<"$line"
for i in "${!args[@]}"; do
  [ "${args[$i]}" = build-rel ] && args[$i]="$out/build"
done
# The line as written, into a folder of its own, with GoogleTest hidden.
if ! (cd "$src" && "${args[@]}" -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON >"$out/configure.log" 2>&1); then
  cat "$out/configure.log"
  echo "the recipe's configure fails without GoogleTest: $line"
  exit 1
fi
[ ! -e "$out/build/tests" ] || { echo "the recipe builds the tests: $line"; exit 1; }
echo "package recipe configures without GoogleTest"
