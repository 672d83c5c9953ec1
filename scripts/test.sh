#!/usr/bin/env bash
# Builds and runs every test: the media engine under ThreadSanitizer, then everything
# (widget tests offscreen, end-to-end tests on Xvfb) under AddressSanitizer and UBSan.
# The last lines are ctest's summary of the full run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
jobs=$(nproc)

echo "== media engine under ThreadSanitizer"
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIM_SANITIZE=thread >/dev/null
ninja -C "$root/build/tsan" -j "$jobs"
(cd "$root/build/tsan" && ctest --output-on-failure)

echo "== everything under AddressSanitizer and UBSan"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIM_SANITIZE=address >/dev/null
ninja -C "$root/build/asan" -j "$jobs"
cd "$root/build/asan"
ctest --output-on-failure
