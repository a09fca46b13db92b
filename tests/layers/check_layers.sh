#!/usr/bin/env bash
# The layers hold: kestrune_core uses no Qt Widgets symbol, no core source
# includes a window or the application, no window includes the application,
# and no source pumps the event loop from batch code (processEvents).
# Usage: check_layers.sh SOURCE_DIR CORE_LIBRARY WIDGETS_LIBRARY
set -u
src=$1 core=$2 widgets=$3
status=0

# Symbols the core needs from elsewhere that Qt Widgets defines.
defined=$(mktemp) needed=$(mktemp)
trap 'rm -f "$defined" "$needed"' EXIT
nm -D --defined-only "$widgets" | awk '{print $NF}' | sed 's/@.*//' | sort -u > "$defined"
nm -u "$core" 2>/dev/null | awk '{print $NF}' | sort -u > "$needed"
hits=$(comm -12 "$defined" "$needed" | c++filt | head -n 10)
if [ -n "$hits" ]; then
  echo "kestrune_core uses Qt Widgets:"; echo "$hits"; status=1
fi

# Which sources are windows and which belong to the application.
windows=$(sed -n '/^set(WINDOW_SOURCES/,/)/p' "$src/src/CMakeLists.txt" | tr -s ' ()\n' '\n' | grep '/' )
is_window() { for w in $windows; do [ "$1" = "$w" ] && return 0; done; return 1; }
cd "$src/src" || exit 1
for f in $(find shell filemanager duplicates records devtools documents -name '*.cpp' -o -name '*.h'); do
  stem=${f%.*}
  includes=$(grep -oE '^#include "[^"]+"' "$f" | sed 's/#include "//; s/"$//; s/\.h$//')
  for inc in $includes; do
    if [ "${inc%%/*}" = app ]; then
      echo "$f includes the application: $inc"; status=1
    elif ! is_window "$stem" && is_window "$inc"; then
      echo "$f (core) includes a window: $inc"; status=1
    fi
  done
done
pumps=$(grep -rnE 'processEvents' --include='*.cpp' --include='*.h' . | head -n 5)
if [ -n "$pumps" ]; then
  echo "event loop pumped in:"; echo "$pumps"; status=1
fi
[ $status -eq 0 ] && echo "layers hold"
exit $status
