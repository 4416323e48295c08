#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages QIRM needs to build, test and run, skipping
# what is already there. Safe to run again.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  # the toolkit's own texts (file dialogs, standard buttons) in Japanese
  qt6-translations-l10n
  libjpeg-dev zlib1g-dev libpng-dev libtiff-dev
  # sky coordinates from a FITS header's WCS
  wcslib-dev
  # camera raw files (core/raw_reader): the sensor's colour-filter mosaic
  libraw-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-noto-cjk xvfb xauth imagemagick
  # the layout check, scripts/check-format.sh (Debian 12: version 14)
  clang-format
  # independent oracles and peers for tests and benchmarks
  python3-astropy python3-numpy libcfitsio-dev
  # star photometry is checked against them
  python3-photutils python3-scipy
  # resampling is checked against Pillow and scipy
  python3-pil
  # the FITS writer's files are checked by it
  fitsverify
  # batches of compositions on one host (docs/batch.md; a test runs it)
  parallel
  # the installation and package checks: the desktop entry's and the AppStream
  # file's validators; dpkg-shlibdeps (dpkg-dev) and file, which CPack's
  # Debian package uses to find the libraries' packages
  desktop-file-utils appstream dpkg-dev file
  # the sanitizer build and the fuzz targets (.ci/run): clang, its sanitizer
  # and libFuzzer runtimes, the symbolizer for readable reports
  clang libclang-rt-14-dev llvm
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
