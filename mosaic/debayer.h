// SPDX-License-Identifier: GPL-3.0-or-later
// Demosaicing: the full-colour picture from a Bayer colour-filter mosaic,
// each output pixel with red, green and blue, at the mosaic's size.
//
// Methods:
//  - kBilinear: each missing colour is the mean of the nearest pixels of
//    that colour (two or four). Fast, soft, with colour fringes at edges.
//  - kRcd: ratio-corrected demosaicing (after the published description by
//    L. Sanz Rodriguez): green by directional estimates weighted by
//    vertical/horizontal discrimination and gradients, with a low-pass
//    ratio correction; red and blue from colour differences along the
//    diagonals and then the cardinal directions. Sharper, with far fewer
//    fringes and zippers.
//
// Edge policy, for both methods: the mosaic is extended beyond each edge by
// mirroring about the edge pixel (pixel -k is pixel k, pixel n - 1 + k is
// pixel n - 1 - k). A mirror of odd length keeps the filter colour of every
// mirrored pixel, so the methods run up to the edges unchanged. A flat
// colour field comes back exactly everywhere.
//
// Values: every sample is taken as it is (no black level, no white
// balance). RCD works on ratios and wants values >= 0: values are scaled
// by a power of two into 0..1 (exact) and, where the mosaic holds values
// below 0, shifted by its minimum first. Non-finite float samples are taken
// as 0 (or as the minimum where values are negative). Integer outputs are
// rounded half up and clamped to their range; float outputs keep any value.
// The arithmetic is 32-bit float; a flat colour field returns exactly when
// the differences of its values are exact in float (integers, or float
// values of one binade's grid).
//
// Work is cut into tiles shared between the cores (core/parallel.h); the
// result does not depend on the cut or the number of threads. Bilinear from
// 8 or 16-bit samples into planes of the same type runs on the integers,
// row by row, with the float path's rounding.
#pragma once

#include <string>

#include "core/plane_view.h"
#include "core/sample_image.h"
#include "core/status.h"
#include "mosaic/bayer_pattern.h"

namespace qirm {

enum class DebayerMethod { kBilinear, kRcd };

// "bilinear", "rcd".
const char* DebayerMethodName(DebayerMethod method);
// Reads "bilinear" or "rcd" (any case); false for anything else.
bool ParseDebayerMethod(const std::string& text, DebayerMethod& method);

// For tests and benchmarks; the defaults are right for everything else.
struct DebayerOptions {
  // Side of the square tiles the work is cut into; 0: the method's own.
  int tile = 0;
  // The plain path: the whole mosaic as one tile, on the calling thread, in
  // float arithmetic. Every faster path (tiles, threads, bilinear's integer
  // rows) is tested to give the same bytes.
  bool plain = false;
};

// Demosaics `mosaic` (8-bit, 16-bit or 32-bit float) with the colour
// filters `pattern` (at its pixel (0, 0)) into red, green and blue (8-bit,
// 16-bit or 32-bit float each, the mosaic's size; they may not overlap the
// mosaic or each other). Refused: an empty or 64-bit view, a mosaic smaller
// than 2 x 2, output views of another size.
Status Debayer(ConstPlaneView mosaic, BayerPattern pattern, DebayerMethod method, PlaneView red,
               PlaneView green, PlaneView blue, const DebayerOptions& options = {});

// The same from a one-channel SampleImage into `colour`: 3 channels of
// `type` (kU8, kU16, kF32; the mosaic's own type by default), its cards
// those of the mosaic less BAYERPAT, XBAYROFF and YBAYROFF. Refused as
// above, and for a mosaic of more than one channel or too little memory.
Status Debayer(const SampleImage& mosaic, BayerPattern pattern, DebayerMethod method, SampleImage& colour);
Status Debayer(const SampleImage& mosaic, BayerPattern pattern, DebayerMethod method, SampleType type,
               SampleImage& colour);

// The pattern a mosaic's cards give: BAYERPAT shifted by XBAYROFF and
// YBAYROFF (0 when absent). False without BAYERPAT or with a value that is
// none of the four patterns.
bool BayerPatternFromCards(const SampleImage& mosaic, BayerPattern& pattern);

}  // namespace qirm
