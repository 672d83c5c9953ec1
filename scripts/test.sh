#!/usr/bin/env bash
# Builds and runs every test: the media engine under ThreadSanitizer, the picture converter
# under valgrind, the fuzz targets for a bounded time, then everything (widget tests
# offscreen, the conformance matrix, the damaged-media set, end-to-end tests on Xvfb) under
# AddressSanitizer and UBSan.
# The last lines are ctest's summary of the full run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/install-deps.sh"
jobs=$(nproc)

echo "== media engine under ThreadSanitizer"
cmake -S "$root" -B "$root/build/tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIM_SANITIZE=thread >/dev/null
ninja -C "$root/build/tsan" -j "$jobs"
(cd "$root/build/tsan" && ctest --output-on-failure)

echo "== valgrind: the picture converter's writes, which happen inside libswscale where no sanitizer sees"
cmake -S "$root" -B "$root/build/plain" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$root/build/plain" -j "$jobs" test_converter
# The converter's program loads only libswscale and libavutil (the display library is linked
# as needed), which valgrind loads on any x86-64. Should valgrind still fail to start it
# here, stop and say why: never skip silently.
converter="$root/build/plain/tests/test_converter"
if ! valgrind -q --error-exitcode=1 "$converter" --gtest_list_tests >/dev/null 2>"$root/build/valgrind-start.log"; then
  echo "plim: valgrind cannot run $converter on this machine, so the converter's writes go unchecked:" >&2
  tail -n 20 "$root/build/valgrind-start.log" >&2
  exit 1
fi
valgrind -q --error-exitcode=1 "$converter"

echo "== libFuzzer targets (clang): the command parser, the whole service path and media files, bounded runs"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIM_SANITIZE=fuzzer >/dev/null
ninja -C "$root/build/fuzz" -j "$jobs" fuzz_mci_parser fuzz_mci_service fuzz_media plim_filters
(cd "$root/build/fuzz" && ctest --output-on-failure)

echo "== everything under AddressSanitizer and UBSan"
cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIM_SANITIZE=address >/dev/null
ninja -C "$root/build/asan" -j "$jobs"
cd "$root/build/asan"
ctest -j "$jobs" --output-on-failure
