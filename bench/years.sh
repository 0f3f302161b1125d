#!/usr/bin/env bash
# Wall time of `devsim years` over the whole default span, against starting
# the same number of no-op processes. Builds first; prints the figures.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default --target devsim years_bench >/dev/null
build/years_bench build/devsim "$@"
