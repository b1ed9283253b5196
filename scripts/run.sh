#!/usr/bin/env bash
# Builds Tavrik and starts it; arguments go to the program.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
"$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=Release -DTAVRIK_TESTS=OFF -DTAVRIK_BENCH=OFF
exec "$root/build/bin/Tavrik" "$@"
