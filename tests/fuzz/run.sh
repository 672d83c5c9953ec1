#!/usr/bin/env bash
# Fuzzes the command parser, the whole service path and media files for longer than CI does.
# Usage: tests/fuzz/run.sh [SECONDS per target, default 600]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
secs=${1:-600}
bash "$root/scripts/install-deps.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLIM_SANITIZE=fuzzer -DPLIM_FUZZ_SECONDS="$secs" -DPLIM_FUZZ_MEDIA_SECONDS="$secs" >/dev/null
ninja -C "$root/build/fuzz" fuzz_mci_parser fuzz_mci_service fuzz_media plim_filters
cd "$root/build/fuzz" && ctest --output-on-failure -V
