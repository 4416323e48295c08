// SPDX-License-Identifier: GPL-3.0-or-later
// Everything the composition dialogs hold, as one value. The dialogs are
// its view: they build it from their controls when a composition starts
// (and the settings file reads and writes it); the pipeline never reads a
// control.
#pragma once

#include <string>
#include <vector>

namespace qirm {

// The values of CompositionSettings::StarMode.
inline constexpr int kStarModeNone = 0;
inline constexpr int kStarModeOneStar = 1;
inline constexpr int kStarModeTwoStars = 2;

// What the composition does with a StarMode: two-star mode scales and
// rotates every frame onto the reference frame's two stars before the
// shift; every other value, none included, only shifts each frame so that
// the brightest pixel of its star-1 box lands on star 1.
enum class StarRegistration { kShiftOnStar1, kTwoStars };

inline StarRegistration StarRegistrationOf(int star_mode) {
  return star_mode == kStarModeTwoStars ? StarRegistration::kTwoStars : StarRegistration::kShiftOnStar1;
}

// The tone curves of the advanced dialog ("リニア", "LOG", "γ", "ATAN");
// output_stage.h gives their formulas.
enum class ToneKind { kLinear, kLog, kGamma, kAtan };

// The values of CompositionSettings::DetectMethod ("ピーク検出方法"), and how
// registration finds star 1 in a frame for the shift: the brightest pixel of
// the star-1 box (peak, the classic rule, also for any other value), the
// intensity centroid of the box above its local sky rounded to whole pixels
// (centroid), or not at all: the frame is not shifted (none; two-star mode
// still scales and rotates it about the centre).
inline constexpr int kDetectCentroid = 0;
inline constexpr int kDetectPeak = 1;
inline constexpr int kDetectNone = 2;
enum class StarDetection { kPeak, kCentroid, kNone };

inline StarDetection StarDetectionOf(int detect_method) {
  return detect_method == kDetectCentroid ? StarDetection::kCentroid
         : detect_method == kDetectNone   ? StarDetection::kNone
                                          : StarDetection::kPeak;
}

struct AdvancedFlags {
  // Blooming removal of every light frame: off, fixed values (see
  // compose.cpp); on, saturated from BloomThreshold in every channel, streaks
  // of more than BloomLength elements, a smoothing median of radius
  // BloomThickness.
  bool AntiBloomingOn = false;  // CheckBox7
  int BloomThreshold = 60000;   // Edit1
  int BloomThickness = 2;       // Edit2
  int BloomLength = 5;          // Edit3
  bool Rotate180R = false;      // CheckBox1..3
  bool Rotate180G = false;
  bool Rotate180B = false;
  bool FlattenR = false;  // CheckBox4..6
  bool FlattenG = false;
  bool FlattenB = false;
  // The tone curve and the parameter of each (RadioButton1..4, Edit4..6).
  // The settings file does not hold them.
  ToneKind Tone = ToneKind::kAtan;
  double ToneLogParameter = 1000;  // Edit4
  double ToneGammaParameter = 1;   // Edit5
  double ToneAtanParameter = 200;  // Edit6
  // The parameter of the chosen curve (none for the linear one: 0).
  double ToneParameter() const {
    switch (Tone) {
      case ToneKind::kLog:
        return ToneLogParameter;
      case ToneKind::kGamma:
        return ToneGammaParameter;
      case ToneKind::kAtan:
        return ToneAtanParameter;
      case ToneKind::kLinear:
        break;
    }
    return 0;
  }
};

struct CompositionSettings {
  std::vector<std::string> RedFiles;    // ListBox1
  std::vector<std::string> GreenFiles;  // ListBox2
  std::vector<std::string> BlueFiles;   // ListBox3
  std::vector<std::string> DarkFiles;   // ListBox4
  std::vector<std::string> FlatFiles;   // ListBox5
  int StarMode = 0;                     // kStarModeNone, kStarModeOneStar, kStarModeTwoStars
  int Star1X = 0;
  int Star1Y = 0;
  int Star2X = 0;
  int Star2Y = 0;
  int Delta1 = 10;       // half-size of the search box of star 1
  int Delta2 = 10;       // half-size of the search box of star 2
  int DetectMethod = 1;  // kDetectCentroid, kDetectPeak, kDetectNone
  int BackgroundX = 0;
  int BackgroundY = 0;
  int BackgroundLevel = 10;
  double WhiteR = 1.0;
  double WhiteG = 1.0;
  double WhiteB = 1.0;
  double WhiteK = 1.0;
  AdvancedFlags Advanced;
};

}  // namespace qirm
