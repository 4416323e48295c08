// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_checks.h"

#include "display/display_commands.h"
#include "display/level_presets.h"
#include "display/resample.h"
#include "display/tone_curve.h"
#include "display/window_commands.h"
#include "document/kind_refusal.h"
#include "filters/background.h"
#include "filters/debayer_command.h"
#include "filters/filter_commands.h"

namespace qirm {

Status MenuCommandCheck(MenuCommand command, const ImageDocument* doc) {
  if (!doc) return Status::Error(kNoWindowRefusal);
  const ImageDocument& d = *doc;
  switch (command) {
    case MenuCommand::kWindow:
    case MenuCommand::kRotate:
      return Status::Ok();
    case MenuCommand::kNegative:
      return NegativeKindCheck(d);
    case MenuCommand::kMirror:
      return MirrorKindCheck(d);
    case MenuCommand::kFlip:
      return FlipKindCheck(d);
    case MenuCommand::kResample:
      return ResampleKindCheck(d);
    case MenuCommand::kSeparate:
      return SeparateKindCheck(d);
    case MenuCommand::kBackground:
      return BackgroundKindCheck(d);
    case MenuCommand::kEdge:
      return EdgeKindCheck(d);
    case MenuCommand::kBlur:
      return BlurKindCheck(d);
    case MenuCommand::kHighPass:
      return HighPassKindCheck(d);
    case MenuCommand::kLowPass:
      return LowPassKindCheck(d);
    case MenuCommand::kBloom:
      return BloomKindCheck(d);
    case MenuCommand::kToneCurve:
      return ToneCurveKindCheck(d);
    case MenuCommand::kGamma:
      return GammaKindCheck(d);
    case MenuCommand::kSolarize:
      return SolarizeKindCheck(d);
    case MenuCommand::kSabattier:
      return SabattierKindCheck(d);
    case MenuCommand::kComa:
      return ComaKindCheck(d);
    case MenuCommand::kPhotometry:
      // Photometry measures the picture a window shows or holds.
      if (d.kind == WindowKind::kNone) return KindRefused("測光", d.kind, "測る画像がありません。");
      return Status::Ok();
    case MenuCommand::kContrast:
      return ContrastKindCheck(d);
    case MenuCommand::kLevels:
      return LevelsKindCheck(d);
    case MenuCommand::kDebayer:
      return DebayerKindCheck(d);
  }
  return Status::Ok();
}

}  // namespace qirm
