#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzz target of a build made with -DQIRM_FUZZ=ON for SECONDS each
# (default 60), starting from seeds the program writes itself, and prints the
# runs each made. A crash, a leak, undefined behaviour, an allocation over
# the malloc limit or memory over the RSS limit stops the target, leaves the
# input as BUILD/fuzz/TARGET-crash-* and fails the script.
#
#   tests/fuzz/run-fuzzers.sh BUILD [SECONDS] [TARGET...]
set -euo pipefail
build=${1:?usage: run-fuzzers.sh BUILD [SECONDS] [TARGET...]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : 1 ))
targets=("$@")
# raw is not among the defaults: it finds, within a minute or so, a buffer
# overflow inside the system's camera-raw library itself (a long Hasselblad
# model name, which glibc's fortify check aborts), and a finding in a library
# we cannot mend would make every run fail by chance. Run it by name:
#   tests/fuzz/run-fuzzers.sh build-san 600 raw
[ ${#targets[@]} -eq 0 ] && targets=(fits netpbm bmp jpeg settings tiff png)
build=$(cd "$build" && pwd)
work="$build/fuzz"
mkdir -p "$work"
"$build/tests/fuzz/fuzz_seeds" "$work/seeds"
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/corpus-$t"
  log="$work/$t.log"
  if nice "$build/tests/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
      -timeout=10 -print_final_stats=1 -artifact_prefix="$work/$t-" \
      "$work/corpus-$t" "$work/seeds/$t" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    echo "fuzz_$t: ${runs:-?} runs in ${seconds} s, no finding"
  else
    status=1
    echo "fuzz_$t: FINDING (log $log):"
    grep -E 'ERROR|SUMMARY|runtime error|Test unit written' "$log" | head -20 || tail -20 "$log"
  fi
done
exit "$status"
