#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Puts the licence line `SPDX-License-Identifier: GPL-3.0-or-later` at the
# top of every source file that lacks it: `//` in .h and .cpp files, `#` in
# CMake files and scripts (after the #! line). Files that have the line are
# left alone, so it is safe to run again after new files come in. With
# --check it changes nothing, names the files that lack the line and exits 1
# if there are any (a test runs it).
#
# usage: scripts/spdx.sh [--check]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

check=0
case ${1:-} in
  "") ;;
  --check) check=1 ;;
  -h | --help)
    echo "usage: scripts/spdx.sh [--check]"
    exit 0
    ;;
  *)
    echo "usage: scripts/spdx.sh [--check]" >&2
    exit 2
    ;;
esac

licence="SPDX-License-Identifier: GPL-3.0-or-later"

# The project's files: tracked and new ones of a git checkout (not those git
# ignores, such as build folders), or every file outside build folders.
list_files() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z --cached --others --exclude-standard
  else
    find . \( -name '.git' -o -name 'build' -o -name 'build-*' \) -prune -o -type f -print0 | sed -z 's|^\./||'
  fi
}

# The comment that starts the licence line in `file`, or nothing when the
# file is not one that carries it.
comment_of() {
  local file=$1
  case $file in
    *.h | *.cpp) echo "//" ;;
    CMakeLists.txt | */CMakeLists.txt | *.cmake | *.sh | *.py) echo "#" ;;
    *)
      # Scripts without an extension (run, test, the package's maintainer scripts).
      if [ -f "$file" ] && [ "$(head -c 2 "$file")" = "#!" ]; then echo "#"; fi
      ;;
  esac
}

missing=0
while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue # listed by git but deleted
  comment=$(comment_of "$file")
  [ -n "$comment" ] || continue
  # -c reads all five lines: -q would stop early and fail head under pipefail.
  head -n 5 "$file" | grep -cE "^(//|#) SPDX-License-Identifier: " >/dev/null && continue
  if [ "$check" -eq 1 ]; then
    echo "$file"
    missing=$((missing + 1))
    continue
  fi
  line="$comment $licence"
  if [ ! -s "$file" ]; then
    printf '%s\n' "$line" >"$file"
  elif [ "$(head -c 2 "$file")" = "#!" ]; then
    sed -i "1a $line" "$file"
  else
    sed -i "1i $line" "$file"
  fi
done < <(list_files)

if [ "$missing" -gt 0 ]; then
  echo "spdx: $missing files lack the line '$licence' (scripts/spdx.sh adds it)" >&2
  exit 1
fi
exit 0
