#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build into a throwaway prefix and checks what a desktop finds
# there: the programs, a desktop entry and an AppStream file that their
# validators pass, the icons at their sizes, the manual pages and the
# documents, and a release entry for this version.
#
#   installed_files_test.sh BUILD_DIR
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

share=$prefix/share
id=org.qirm.qirm
for f in bin/qirm bin/qirm-cli share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/icons/hicolor/scalable/apps/qirm.svg share/man/man1/qirm.1.gz share/man/man1/qirm-cli.1.gz \
  share/doc/qirm/README.md share/doc/qirm/copyright share/doc/qirm/batch.md; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
for size in 48 128 256; do
  icon=$share/icons/hicolor/${size}x$size/apps/qirm.png
  [[ $(file -b "$icon") == *"PNG image data, $size x $size,"* ]] || fail "$icon is not a $size x $size PNG"
done

desktop-file-validate "$share/applications/$id.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$share/metainfo/$id.metainfo.xml" || fail "appstreamcli validate"

# The entry starts the installed program and names the installed icon.
grep -qx 'Exec=qirm %F' "$share/applications/$id.desktop" || fail "the desktop entry's Exec"
grep -qx 'Icon=qirm' "$share/applications/$id.desktop" || fail "the desktop entry's Icon"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream file does not launch $id.desktop"

# A new version needs its release entry. (Whole outputs read first: a pipe
# cut short by head or grep -q would fail under pipefail.)
version_text=$("$prefix/bin/qirm-cli" --version)
version=$(sed -n '1s/^qirm-cli \([^ ]*\).*/\1/p' <<<"$version_text")
grep -q "<release version=\"$version\"" "$share/metainfo/$id.metainfo.xml" ||
  fail "the AppStream file has no release $version"
man_page=$(zcat "$share/man/man1/qirm-cli.1.gz")
[[ ${man_page%%$'\n'*} == *"QIRM $version"* ]] || fail "qirm-cli.1 is not of $version"

[ "$status" -eq 0 ] && echo "installed files: all checks passed"
exit "$status"
