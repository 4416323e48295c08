#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Opening a 16-bit FITS frame, whole processes side by side, alternating:
# `qirm-cli run FILE --state`, the cfitsio peer (read + extremes) and the
# astropy peer (getdata + extremes). Prints each run's wall seconds and peak
# memory (from /usr/bin/time), then the medians and the ratios peer/QIRM.
#
#   bench/open_compare.sh FILE [BUILD_DIR] [RUNS]
set -eu
file=$1
build=${2:-build}
runs=${3:-7}
here=$(dirname "$0")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run() {  # NAME COMMAND...: one timed run appended to $out/NAME
  name=$1
  shift
  /usr/bin/time -f '%e %M' -o "$out/t" "$@" >/dev/null 2>&1 || true
  cat "$out/t" >>"$out/$name"
}

set -- qirm
[ -x "$build/bench/fits_open_cfitsio" ] && set -- "$@" cfitsio
/usr/bin/python3 -c 'import astropy' 2>/dev/null && set -- "$@" astropy
i=0
while [ $i -le "$runs" ]; do  # run 0 warms the page cache and is dropped
  for name in "$@"; do
    case $name in
      qirm) run qirm "$build/qirm-cli" run "$file" --state ;;
      cfitsio) run cfitsio "$build/bench/fits_open_cfitsio" "$file" ;;
      astropy) run astropy /usr/bin/python3 "$here/fits_open_astropy.py" "$file" ;;
    esac
  done
  if [ $i -eq 0 ]; then for name in "$@"; do : >"$out/$name"; done; fi
  i=$((i + 1))
done
echo "load: $(cut -d' ' -f1-3 /proc/loadavg)"
median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }
q=$(cut -d' ' -f1 "$out/qirm" | median)
for name in "$@"; do
  wall=$(cut -d' ' -f1 "$out/$name" | median)
  peak=$(cut -d' ' -f2 "$out/$name" | median)
  spread=$(cut -d' ' -f1 "$out/$name" | sort -n | awk 'NR==1{lo=$1} {hi=$1} END {print lo "-" hi}')
  echo "$name: median ${wall} s [$spread], peak $((peak / 1024)) MiB, ratio $name/qirm $(awk -v a="$wall" -v b="$q" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')"
done
