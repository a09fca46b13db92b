#!/usr/bin/env bash
# The layers hold: the core and the command line use no Qt Widgets symbol;
# an include points only down (src/core includes neither src/gui, src/cli
# nor src/app; src/gui and src/cli include neither each other nor src/app);
# and no source pumps the event loop (processEvents).
# Usage: check_layers.sh SOURCE_DIR WIDGETS_LIBRARY CORE_LIBRARY CLI_LIBRARY
set -u
src=$1 widgets=$2
shift 2
status=0

# Symbols a library needs from elsewhere that Qt Widgets defines.
defined=$(mktemp) needed=$(mktemp)
trap 'rm -f "$defined" "$needed"' EXIT
nm -D --defined-only "$widgets" | awk '{print $NF}' | sed 's/@.*//' | sort -u > "$defined"
for lib in "$@"; do
  nm -u "$lib" 2>/dev/null | awk '{print $NF}' | sort -u > "$needed"
  hits=$(comm -12 "$defined" "$needed" | c++filt | head -n 10)
  if [ -n "$hits" ]; then
    echo "$(basename "$lib") uses Qt Widgets:"; echo "$hits"; status=1
  fi
done

# Which layers each layer may not include.
forbidden() {
  case $1 in
    core) echo "gui cli app" ;;
    gui) echo "cli app" ;;
    cli) echo "gui app" ;;
    *) echo "" ;;
  esac
}
cd "$src/src" || exit 1
for layer in core gui cli; do
  bad=$(forbidden $layer)
  for f in $(find "$layer" -name '*.cpp' -o -name '*.h'); do
    for inc in $(grep -oE '^\s*#\s*include\s*"[^"]+"' "$f" | sed -E 's/.*"([^"]+)"/\1/'); do
      top=${inc%%/*}
      for b in $bad; do
        if [ "$top" = "$b" ]; then
          echo "$f ($layer) includes $b: $inc"; status=1
        fi
      done
    done
  done
done
pumps=$(grep -rnE 'processEvents' --include='*.cpp' --include='*.h' . | head -n 5)
if [ -n "$pumps" ]; then
  echo "event loop pumped in:"; echo "$pumps"; status=1
fi
# QString::utf16() moves a literal's text into a buffer of its own to end it
# with a zero: a write into a string that a batch's thread may be reading a
# copy of. The code reads through constData() and the size.
rewrites=$(grep -rnE '\.utf16\(\)' --include='*.cpp' --include='*.h' . ../tools | head -n 5)
if [ -n "$rewrites" ]; then
  echo "utf16() rewrites shared strings in:"; echo "$rewrites"; status=1
fi
[ $status -eq 0 ] && echo "layers hold"
exit $status
