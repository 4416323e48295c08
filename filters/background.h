// SPDX-License-Identifier: GPL-3.0-or-later
// Background slope removal: the sky of a frame sampled on a grid of boxes,
// a plane or a 2-D polynomial of degree 2 or 3 fitted robustly to the box
// values, and that model subtracted with the mean sky level kept.
//
// Each box's sky is a sigma-clipped median of its pixels (64 to 1024 of
// them on an even sub-grid, about a quarter of a million in all, for speed); a box with more than 5 % of its
// pixels 3 sigma above the clipped sky, and three times the typical share,
// is on a star or a galaxy and is rejected. The fit is least squares on coordinates scaled to -1..1,
// repeated while boxes whose residual exceeds three robust sigmas (1.4826
// times the median absolute residual) are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/status.h"
#include "document/dialog_check.h"
#include "document/image_document.h"

namespace qirm {

inline constexpr int kMinBackgroundBox = 8;
inline constexpr int kMaxBackgroundBox = 1024;
inline constexpr int kDefaultBackgroundBox = 64;
inline constexpr const char* kBackgroundBoxRefused = "箱の大きさは 8 から 1024 までの整数を入力してください";
inline constexpr const char* kBackgroundModelRefused = "モデルは plane, poly2, poly3 のいずれかです";
inline constexpr const char* kBackgroundTooFewBoxes =
    "背景傾斜: 空の箱が少なすぎてモデルを当てはめられません";

// The fitted model: 1 (plane), 2 or 3.
struct BackgroundParams {
  int degree = 1;
  int box = kDefaultBackgroundBox;
};

// The dialog's and qirm-cli's texts: a model name (plane, poly2, poly3) and
// the box size. Errors: the messages above.
Status ParseBackgroundParams(const std::string& model, const std::string& box, BackgroundParams& params);
// "plane", "poly2", "poly3".
std::string BackgroundModelName(int degree);

// One sky box: its centre (pixels), its sky and whether the fit used it.
struct BackgroundBox {
  double x = 0, y = 0;
  double sky = 0;
  double high = 0;       // the share of its samples more than 3 sigma above the sky
  bool star = false;     // rejected as lying on a star
  bool outlier = false;  // rejected by the robust fit
};

struct BackgroundFit {
  int degree = 1;
  int width = 0, height = 0;
  // Coefficients of u^i v^j (u, v = coordinates scaled to -1..1) in the
  // order (i, j) = (0,0), (1,0), (0,1), (2,0), (1,1), (0,2), ... by total
  // degree.
  std::vector<double> coefficients;
  double mean_level = 0;      // the model's mean over the frame: the sky level kept
  double residual_sigma = 0;  // robust scatter of the used boxes about the model
  int boxes_used = 0;
  std::vector<BackgroundBox> boxes;

  double Model(double x, double y) const;
};

// Fits the model to one plane of samples: `data` points at pixel (0, 0),
// `pixel_step` elements between neighbours of a row, `row_step` between
// rows. Errors: fewer usable boxes than the model has terms.
template <class T>
Status FitBackground(const T* data, int width, int height, std::ptrdiff_t pixel_step, std::ptrdiff_t row_step,
                     const BackgroundParams& params, BackgroundFit& fit);

// value - model + mean level, rounded and limited to 0..max_value, in place;
// or, with `model_only`, the model itself (the preview's picture).
template <class T>
void SubtractBackground(T* data, int width, int height, std::ptrdiff_t pixel_step, std::ptrdiff_t row_step,
                        const BackgroundFit& fit, int max_value, bool model_only = false);

// The command on a window: a 16-bit window's raw values (its FITS scaling
// is linear, so the physical sky level is kept too), a colour window's
// three channels each with its own model. `model_only` replaces the picture
// by the model (the dialog's preview). Errors: the window's kind (Netpbm,
// empty), too few sky boxes. `fits` receives the fits (one, or B, G, R).
Status BackgroundCommand(ImageDocument& doc, const BackgroundParams& params,
                         std::vector<BackgroundFit>* fits = nullptr, bool model_only = false);
// Its kind check alone: colour and 16-bit windows.
Status BackgroundKindCheck(const ImageDocument& doc);

}  // namespace qirm
