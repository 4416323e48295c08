#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package from the build tree, checks its control fields
# and its files, unpacks it into a throwaway folder and runs its programs
# from there: both print their version without a display, and qirm-cli
# opens a real frame (skipped when the shared data are absent).
#
#   package_test.sh BUILD_DIR DATA_DIR
set -euo pipefail
build=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack could not build the package" >&2
  exit 1
fi
debs=("$work"/out/qirm_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || {
  echo "FAIL: cpack made no qirm_*.deb" >&2
  exit 1
}
deb=${debs[0]}
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = qirm ] || fail "Package is '$(field Package)'"
[ "$(field Section)" = science ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libpng16-16 libtiff6 libwcs7 libc6 qt6-qpa-plugins; do
  grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib"
done
# Lists first: grep -q ending a pipe early would fail it under pipefail.
control_files=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
grep -qx './postinst' <<<"$control_files" || fail "no postinst"
grep -qx './postrm' <<<"$control_files" || fail "no postrm"
for f in ./usr/bin/qirm ./usr/bin/qirm-cli ./usr/share/applications/org.qirm.qirm.desktop \
  ./usr/share/metainfo/org.qirm.qirm.metainfo.xml ./usr/share/icons/hicolor/scalable/apps/qirm.svg \
  ./usr/share/man/man1/qirm-cli.1.gz ./usr/share/doc/qirm/copyright; do
  grep -qx "$f" <<<"$files" || fail "the package lacks $f"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
version=$(field Version)
# The user's folders of the runs below stay in the throwaway folder.
export XDG_CONFIG_HOME=$work/config XDG_CACHE_HOME=$work/cache
"$root/usr/bin/qirm-cli" --version >"$work/cli-version" || fail "qirm-cli --version failed"
head -n 1 "$work/cli-version" | grep -q "^qirm-cli $version\b" || fail "qirm-cli --version: $(head -n 1 "$work/cli-version")"
# Without a display or a platform named: --version is answered before the
# toolkit starts.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/qirm" --version >"$work/gui-version" ||
  fail "qirm --version failed"
head -n 1 "$work/gui-version" | grep -q "^qirm $version\b" || fail "qirm --version: $(head -n 1 "$work/gui-version")"
grep -q '^  Qt 6' "$work/gui-version" || fail "qirm --version names no Qt"

frame=$data/fixtures/kpno_m51_B_dev_pix.fits
if [ -f "$frame" ]; then
  (cd "$work" && "$root/usr/bin/qirm-cli" run "$frame" --state >"$work/state") || fail "qirm-cli run $frame"
  grep -qx 'DemX=512' "$work/state" && grep -qx 'DemY=512' "$work/state" ||
    fail "qirm-cli run: not the 512 x 512 frame: $(tr '\n' ' ' <"$work/state")"
else
  echo "no shared data: the run of a real frame is skipped"
fi

[ "$status" -eq 0 ] && echo "package: all checks passed"
exit "$status"
