#!/usr/bin/env bash
# Sets up, builds and runs every test through CTest.
#
#   scripts/test.sh [--sanitize LIST] [CTEST ARGUMENTS...]
#
# --sanitize address,undefined (or thread): builds everything with those
# sanitizers in a folder of its own (build-asan, build-tsan) and runs the
# tests there, less those listed in tests/sanitizers/skip.txt. Every program
# the tests start writes its reports into one folder; the run fails when a
# test fails or when any report was written, also by a helper program whose
# death a test expected.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
sanitize=""
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=${2:?"--sanitize needs a list: address,undefined or thread"}
  shift 2
fi

if [ -z "$sanitize" ]; then
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
  exit 0
fi

case "$sanitize" in
  thread) build="$here/build-tsan" ;;
  *thread*) echo "ThreadSanitizer cannot be combined with other sanitizers" >&2; exit 2 ;;
  address,undefined | undefined,address) build="$here/build-asan" ;;
  *) build="$here/build-$(echo "$sanitize" | tr ',' '-')" ;;
esac

"$here/scripts/setup.sh" --packages-only
# The benchmarks are left out: they are not run here, and their test checks
# only their command lines.
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUNE_SANITIZE="$sanitize" \
  -DKESTRUNE_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"

reports="$build/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"
# Helpers started as another user write their reports here too.
chmod 1777 "$reports"
common="halt_on_error=1:log_path=$reports/report:print_summary=1"
export ASAN_OPTIONS="$common:detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="suppressions=$here/tests/sanitizers/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="$common:print_stacktrace=1"
# The tests start programs from threaded processes: the child goes on.
export TSAN_OPTIONS="$common:die_after_fork=0:second_deadlock_stack=1:suppressions=$here/tests/sanitizers/tsan.supp:print_suppressions=0"

# The tests left out: one regular expression of the names in skip.txt.
skip=$(sed -e 's/#.*//' -e 's/[[:space:]]//g' "$here/tests/sanitizers/skip.txt" | sed '/^$/d' | paste -sd '|')

cd "$build"
status=0
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" ${skip:+-E "$skip"} "$@" || status=$?

if compgen -G "$reports/report*" >/dev/null; then
  echo "The sanitizers ($sanitize) reported:"
  for f in "$reports"/report*; do
    echo "---- $f"
    cat "$f"
  done
  exit 1
fi
exit "$status"
