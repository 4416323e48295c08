#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks every tracked .h and .cpp file against .clang-format with
# clang-format 14: prints the files it would change and exits 1 if there are
# any, 0 if there are none. With --fix it formats those files in place.
# Exit status 2 when clang-format 14 is missing or the arguments are wrong.
#
# usage: scripts/check-format.sh [--fix]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

usage() { echo "usage: scripts/check-format.sh [--fix]"; }

fix=0
case $# in
  0) ;;
  1)
    case $1 in
      --fix) fix=1 ;;
      -h | --help) usage; exit 0 ;;
      *) usage >&2; exit 2 ;;
    esac
    ;;
  *) usage >&2; exit 2 ;;
esac

# Other major versions lay out some constructs differently, so a check with
# them would flag files that version 14 leaves alone.
formatter=""
for candidate in clang-format-14 clang-format; do
  if command -v "$candidate" >/dev/null && "$candidate" --version | grep -q 'version 14\.'; then
    formatter=$candidate
    break
  fi
done
if [ -z "$formatter" ]; then
  echo "check-format: clang-format 14 not found (scripts/install-deps.sh installs it)" >&2
  exit 2
fi
# A broken .clang-format would otherwise make every file look unformatted.
if ! "$formatter" --dump-config >/dev/null; then
  echo "check-format: $formatter cannot read .clang-format" >&2
  exit 2
fi

mapfile -d '' files < <(git ls-files -z -- '*.h' '*.cpp' ':!:build/**')
if [ ${#files[@]} -eq 0 ]; then
  echo "check-format: no tracked .h or .cpp files under $root" >&2
  exit 2
fi

offending=()
for f in "${files[@]}"; do
  "$formatter" --dry-run --Werror "$f" >/dev/null 2>&1 || offending+=("$f")
done

if [ ${#offending[@]} -eq 0 ]; then
  echo "check-format: all ${#files[@]} files follow .clang-format"
  exit 0
fi

if [ $fix -eq 1 ]; then
  "$formatter" -i "${offending[@]}"
  printf 'formatted %s\n' "${offending[@]}"
  echo "check-format: formatted ${#offending[@]} of ${#files[@]} files"
  exit 0
fi

printf '%s\n' "${offending[@]}"
echo "check-format: ${#offending[@]} of ${#files[@]} files do not follow .clang-format" \
  "(scripts/check-format.sh --fix formats them)" >&2
exit 1
