#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The whole tri-colour composition, qirm-cli (two-star and one-star mode)
# beside its peers on the same set, alternating runs in one measurement: medians of wall time, ns per
# frame pixel, ratios, peak memory (maximum resident set of /usr/bin/time -v),
# and QIRM's own stage times.
#
# usage: bench/compose_compare.sh [BUILD_DIR] [RUNS] [SIZE]
#   BUILD_DIR  a build folder with qirm-cli and bench/compose_bench (default build)
#   RUNS       rounds of alternating runs (default 5)
#   SIZE       frame size of the generated set (default 2048)
# The set is generated once under /tmp/qirm-compose/setSIZE (about 300 MB for
# 2048), never in the repository. Peers: ../shared/bench/pipeline_numpy.py
# (needs Debian's python3-astropy, python3-numpy) and run_siril.sh (needs
# Debian's siril; skipped when siril-cli is absent).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(readlink -f "${1:-$here/../build}")
runs=${2:-5}
size=${3:-2048}
peers=$(readlink -f "$here/../../shared/bench")
work=/tmp/qirm-compose
set_dir=$work/set$size
mkdir -p "$work"
if [ ! -f "$set_dir/truth.json" ]; then
  /usr/bin/python3 "$peers/gen_data.py" --size "$size" --out "$set_dir"
fi
"$here/compose_settings.sh" "$set_dir" "$work/set$size.mrv" 2
# A run whose channels do not line up is not timed: the located offsets,
# scales and angles of every frame against the shifts the set was made with.
# (The shift is in whole pixels and the rotation's displacement is truncated,
# so a channel may be off by about a pixel; more means a star was missed.)
align_limit=${QIRM_ALIGN_LIMIT:-2}
if ! QIRM_COMPOSE_SETTINGS="$work/set$size.mrv" "$build/bench/compose_bench" --offsets > "$work/offsets.txt" ||
   ! /usr/bin/python3 "$here/compose_check.py" "$set_dir" "$align_limit" < "$work/offsets.txt"; then
  echo "compose_compare.sh: the channels of $work/set$size.mrv are misaligned (see above); not timing this run" >&2
  exit 1
fi
"$here/compose_settings.sh" "$set_dir" "$work/set${size}m1.mrv" 1
frames=30
pixels=$((frames * size * size))

have_siril=0
command -v siril-cli > /dev/null && have_siril=1

# One timed run: prints "seconds max_rss_kib". The files the runs before
# wrote are flushed first, untimed: siril-cli leaves some 1.6 GB of working
# files, whose write-back would otherwise slow whichever run comes next.
timed() {
  local log=$work/time.log
  sync
  /usr/bin/time -v "$@" > "$work/run.out" 2> "$log" || { echo "failed: $*" >&2; tail -5 "$log" >&2; exit 1; }
  local wall rss
  wall=$(grep "Elapsed (wall clock)" "$log" | awk '{print $NF}' | awk -F: '{ if (NF == 3) print $1*3600+$2*60+$3; else print $1*60+$2 }')
  rss=$(grep "Maximum resident set size" "$log" | awk '{print $NF}')
  echo "$wall $rss"
}

declare -a q_t q_m o_t o_m n_t n_m s_t s_m
cd "$work"
run_one() {
  local t m
  case $1 in
    qirm)  # uncompressed, as the peers write PPM
      read -r t m < <(timed "$build/qirm-cli" compose "$work/set$size.mrv" -o "$work/qirm.bmp")
      q_t+=("$t"); q_m+=("$m") ;;
    qirm1)
      read -r t m < <(timed "$build/qirm-cli" compose "$work/set${size}m1.mrv" -o "$work/qirm1.bmp")
      o_t+=("$t"); o_m+=("$m") ;;
    numpy)
      read -r t m < <(timed /usr/bin/python3 "$peers/pipeline_numpy.py" "$set_dir" "$work/numpy.ppm")
      n_t+=("$t"); n_m+=("$m") ;;
    siril)
      read -r t m < <(timed "$peers/run_siril.sh" "$set_dir" "$work/siril" "$work/siril.ppm")
      s_t+=("$t"); s_m+=("$m") ;;
  esac
}
# The order turns by one each round, so that no program always follows the
# same one (a run after siril-cli, which frees much memory and many files,
# pays for it).
order=(qirm qirm1 numpy)
[ $have_siril = 1 ] && order+=(siril)
for ((i = 0; i < runs; i++)); do
  for ((j = 0; j < ${#order[@]}; j++)); do run_one "${order[(i + j) % ${#order[@]}]}"; done
done

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2]+a[NR/2+1])/2}'; }
report() {
  local name=$1; shift
  local n=$(( $# / 2 ))
  local times=("${@:1:$n}") mems=("${@:$((n+1))}")
  local t m
  t=$(median "${times[@]}"); m=$(median "${mems[@]}")
  printf '%-11s median %7.3f s  %6.2f ns/frame px  peak %6.1f MiB  (runs: %s)\n' "$name" "$t" \
    "$(awk -v t="$t" -v p="$pixels" 'BEGIN {print t * 1e9 / p}')" "$(awk -v m="$m" 'BEGIN {print m / 1024}')" "${times[*]}"
  echo "$t" > "$work/median.$name"
}
echo "set: $set_dir ($frames light frames of ${size} x ${size}, 5 darks, 1 flat), two-star mode, $runs rounds"
report qirm "${q_t[@]}" "${q_m[@]}"
report qirm-1star "${o_t[@]}" "${o_m[@]}"
report numpy "${n_t[@]}" "${n_m[@]}"
[ $have_siril = 1 ] && report siril "${s_t[@]}" "${s_m[@]}"
[ $have_siril = 1 ] || echo "siril        not measured: siril-cli is not installed (apt-get install siril)"
qt=$(cat "$work/median.qirm")
ratio() { awk -v a="$(cat "$work/median.$1")" -v b="$qt" 'BEGIN {printf "%.2f", a / b}'; }
printf 'ratio numpy / qirm  %s\n' "$(ratio numpy)"
printf 'ratio numpy / qirm one-star  %s\n' "$(awk -v a="$(cat "$work/median.numpy")" -v b="$(cat "$work/median.qirm-1star")" 'BEGIN {printf "%.2f", a / b}')"
[ $have_siril = 1 ] && printf 'ratio siril / qirm  %s\n' "$(ratio siril)"
echo "QIRM stages (one run; frame stages summed over both threads):"
export QIRM_COMPOSE_DATA="$set_dir"
"$build/bench/compose_bench" --stages
"$build/bench/compose_bench" --stages --threads 1
"$build/bench/compose_bench" --stages --mode 1
"$build/bench/compose_bench" --same
