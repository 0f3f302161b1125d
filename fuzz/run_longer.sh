#!/usr/bin/env bash
# Fuzzes the watchers for SECONDS (default 600) with the asan build, then
# merges the inputs that reached new code into the kept corpus.
# usage: fuzz/run_longer.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
cmake --preset asan >/dev/null
cmake --build --preset asan --target watch_fuzzer
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build-asan/watch_fuzzer -max_total_time="$seconds" -max_len=200 -print_final_stats=1 \
    "$scratch" fuzz/corpus
build-asan/watch_fuzzer -merge=1 fuzz/corpus "$scratch"
