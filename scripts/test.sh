#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# Warnings fail the build here.
KESTRUNE_WERROR=ON "$here/scripts/setup.sh"

# The fuzz targets must keep building; each one runs once over its seeds.
if ls "$here"/fuzz/*/CMakeLists.txt >/dev/null 2>&1; then
  CXX=clang++ cmake -S "$here/fuzz" -B "$here/build/fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$here/build/fuzz" -j"$(nproc)"
  for target in "$here"/build/fuzz/bin/*; do
    name=$(basename "$target")
    seeds="$here/fuzz/${name#fuzz_}/seeds"
    if [ -d "$seeds" ] && ! "$target" -runs=0 "$seeds" >/dev/null 2>&1; then
      echo "fuzz target $name failed on its seeds"
      "$target" -runs=0 "$seeds"
      exit 1
    fi
  done
fi

cd "$here/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
