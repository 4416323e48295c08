#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The manual pages against the programs' own help: qirm-cli.1 names every
# verb and option `qirm-cli --help` names, and no option the program does
# not know; qirm.1 the same for `qirm --help` when the desktop program is
# built.
#
#   man_pages_test.sh SOURCE_DIR QIRM_CLI [QIRM]
set -euo pipefail
source_dir=$1
cli=$2
gui=${3:-}
status=0

# The page's text without roff's escapes: "\-\-state" and "\fB--state\fP"
# read "--state".
page_text() {
  sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\(em/-/g' "$1"
}

# compare PAGE HELP_TEXT: every option of the help in the page and back.
compare_options() {
  local page=$1 help=$2 text
  text=$(page_text "$page")
  while read -r option; do
    grep -qe "$option" <<<"$text" || {
      echo "FAIL: $(basename "$page") does not name $option" >&2
      status=1
    }
  done < <(grep -oE -- '--[a-z][a-z-]*' <<<"$help" | sort -u)
  while read -r option; do
    grep -qe "$option" <<<"$help" || {
      echo "FAIL: $(basename "$page") names $option, which the program does not know" >&2
      status=1
    }
  done < <(grep -oE -- '--[a-z][a-z-]*' <<<"$text" | sort -u)
}

page=$source_dir/packaging/man/qirm-cli.1.in
help=$("$cli" --help)
verbs=$(grep -oE '^  qirm-cli [a-z][a-z-]*' <<<"$help" | awk '{print $2}' | sort -u)
[ -n "$verbs" ] || {
  echo "FAIL: no verbs found in qirm-cli --help" >&2
  exit 1
}
text=$(page_text "$page")
for verb in $verbs; do
  grep -qE "^\.SS $verb\$" <<<"$text" || {
    echo "FAIL: qirm-cli.1 has no section for the verb $verb" >&2
    status=1
  }
  grep -qE "^\.B qirm-cli $verb( |\$)" <<<"$text" || {
    echo "FAIL: qirm-cli.1's synopsis does not name the verb $verb" >&2
    status=1
  }
done
compare_options "$page" "$help"

if [ -n "$gui" ]; then
  compare_options "$source_dir/packaging/man/qirm.1.in" "$("$gui" --help)"
fi
[ "$status" -eq 0 ] && echo "manual pages: every verb and option named"
exit "$status"
