#!/usr/bin/env bash
# Installs the Debian packages Kestrune needs to build, run and test, when any
# is missing (quick and silent when all are present), then configures and
# builds into ./build. KESTRUNE_WERROR=ON (as scripts/test.sh sets it) makes
# every compiler warning an error.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

wanted=$(cat "$here"/scripts/packages.d/*.txt | sed -e 's/#.*//' | tr -s ' \t' '\n' | sed '/^$/d' | sort -u)
missing=()
for pkg in $wanted; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

build="$here/build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_WERROR="${KESTRUNE_WERROR:-OFF}" >/dev/null
cmake --build "$build" -j"$(nproc)"
