#!/usr/bin/env bash
# Sets up, builds and starts Kestrune.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
"$here/scripts/setup.sh"
exec "$here/build/bin/kestrune" "$@"
