#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the composition settings file (.mrv, CR LF lines) for a set made by
# ../shared/bench/gen_data.py: its frames in list order, two-star mode on the
# set's reference star and a second bright unsaturated star of that field,
# both from the set's truth file (compose_stars.py).
# usage: compose_settings.sh DATADIR OUT.mrv [STARMODE]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
data=$(readlink -f "$1"); out=$2; mode=${3:-2}
read -r s1x s1y s2x s2y < <(/usr/bin/python3 "$here/compose_stars.py" "$data")
[ -n "${s2y:-}" ] || { echo "compose_settings.sh: no stars for $data" >&2; exit 1; }
size=$(/usr/bin/python3 -c "import json,sys;print(json.load(open(sys.argv[1]))['size'])" "$data/truth.json")
list() { local files=("$data/$1"/*.fits); printf '%d %s File(s)\r\n' "${#files[@]}" "$2"; printf '%s\r\n' "${files[@]}"; }
{
  printf 'MERAVI-2 File Data of RGB composite\r\n'
  list red Red; list green Green; list blue Blue; list darks Dark; list flats Flat
  printf 'Star(s) %d\r\nPosition\r\n' "$mode"
  printf '%d %d %d\r\n%d %d %d\r\n' "$s1x" "$s2x" 16 "$s1y" "$s2y" 20
  printf 'Detect 1\r\nBackGroung\r\n%d %d %d\r\n' $((300 * size / 2048)) $((1700 * size / 2048)) 10
  printf 'WhiteBalance\r\n1 1 1 1\r\nAnti-Blooming\r\n0 60000 2 5\r\n'
  printf 'Rotation\r\n0 0 0\r\nBackGroundSlope\r\n0 0 0'
} > "$out"
