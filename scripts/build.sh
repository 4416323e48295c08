#!/usr/bin/env bash
# Configures and builds QIRM into build/ (Release: the benchmarks and the
# exactness tests both want the optimised code).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j "$(nproc)"
