#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the committed PNG icons (48, 128 and 256 pixels) from
# packaging/icons/qirm.svg after the drawing changed. The build does not
# run it, so building needs no SVG renderer; this needs rsvg-convert
# (Debian: librsvg2-bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
icons="$root/packaging/icons"
for size in 48 128 256; do
  mkdir -p "$icons/$size"
  rsvg-convert -w "$size" -h "$size" "$icons/qirm.svg" -o "$icons/$size/qirm.png"
done
