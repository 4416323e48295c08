#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package qirm_VERSION_ARCH.deb: a Release build of the two
# programs in build-pkg/ (no tests, no benchmarks), then CPack. Install it
# with `sudo apt install ./build-pkg/qirm_*.deb`.
#
#   scripts/package.sh [CMAKE_OPTION...]   e.g. -DQIRM_PACKAGE_MAINTAINER="Name <mail>"
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
build="$root/build-pkg"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQIRM_BUILD_TESTS=OFF -DQIRM_BUILD_BENCH=OFF \
  "${launcher[@]}" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
rm -f "$build"/qirm_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
rm -rf "$build/_CPack_Packages"
for deb in "$build"/qirm_*.deb; do
  echo "$deb"
  dpkg-deb -f "$deb" Package Version Architecture Installed-Size Depends Recommends
done
