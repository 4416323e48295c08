#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The checks g++ cannot make: builds the engine, qirm-cli, their tests and
# the fuzz targets with clang under AddressSanitizer and UndefinedBehavior-
# Sanitizer (real-to-integer overflow included) into build-san/, runs the
# engine and command-line tests there, then every fuzz target for
# FUZZ_SECONDS (default 60) each. .ci/run calls it after ./test.
#
#   scripts/sanitize.sh [FUZZ_SECONDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$root/scripts/install-deps.sh"
build="$root/build-san"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQIRM_SANITIZE=ON -DQIRM_FUZZ=ON -DQIRM_BUILD_UI=OFF -DQIRM_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)" --target engine_tests cli_tests qirm-cli \
  fuzz_seeds fuzz_fits fuzz_netpbm fuzz_bmp fuzz_jpeg fuzz_settings fuzz_tiff fuzz_png fuzz_raw
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
(cd "$build" && ctest --output-on-failure -j "$(nproc)" --timeout 1800) || status=1
"$root/tests/fuzz/run-fuzzers.sh" "$build" "$seconds" || status=1
exit "$status"
