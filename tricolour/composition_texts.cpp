// SPDX-License-Identifier: GPL-3.0-or-later
#include "tricolour/composition_texts.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "core/numbers.h"

namespace qirm {

namespace {

Status Int(const std::string& text, int& out) {
  if (!ParseInt(text, out)) return Status::Error(IntConversionError(text));
  return Status::Ok();
}

Status Real(const std::string& text, double& out) {
  if (!ParseReal(text, out)) return Status::Error(RealConversionError(text));
  return Status::Ok();
}

}  // namespace

Status ConvertCompositionFields(const CompositionFieldTexts& t, CompositionSettings& settings) {
  CompositionSettings s = settings;
  for (const auto& [text, field] : {std::pair{&t.Edit6, &s.Star1X},
                                    {&t.Edit9, &s.Star1Y},
                                    {&t.Edit7, &s.Star2X},
                                    {&t.Edit10, &s.Star2Y},
                                    {&t.Edit8, &s.Delta1},
                                    {&t.Edit11, &s.Delta2},
                                    {&t.Edit12, &s.BackgroundX},
                                    {&t.Edit13, &s.BackgroundY},
                                    {&t.Edit14, &s.BackgroundLevel}}) {
    if (Status status = Int(*text, *field); !status) return status;
  }
  for (const auto& [text, field] : {std::pair{&t.Edit15, &s.WhiteR},
                                    {&t.Edit16, &s.WhiteG},
                                    {&t.Edit17, &s.WhiteB},
                                    {&t.Edit18, &s.WhiteK}}) {
    if (Status status = Real(*text, *field); !status) return status;
  }
  settings = s;
  return Status::Ok();
}

CompositionFieldTexts CompositionFieldTextsOf(const CompositionSettings& s) {
  CompositionFieldTexts t;
  t.Edit6 = FormatInt(s.Star1X);
  t.Edit9 = FormatInt(s.Star1Y);
  t.Edit7 = FormatInt(s.Star2X);
  t.Edit10 = FormatInt(s.Star2Y);
  t.Edit8 = FormatInt(s.Delta1);
  t.Edit11 = FormatInt(s.Delta2);
  t.Edit12 = FormatInt(s.BackgroundX);
  t.Edit13 = FormatInt(s.BackgroundY);
  t.Edit14 = FormatInt(s.BackgroundLevel);
  t.Edit15 = FormatGeneral(s.WhiteR);
  t.Edit16 = FormatGeneral(s.WhiteG);
  t.Edit17 = FormatGeneral(s.WhiteB);
  t.Edit18 = FormatGeneral(s.WhiteK);
  return t;
}

Status CaptureAdvancedFlags(const AdvancedTexts& t, AdvancedFlags& flags) {
  AdvancedFlags f = flags;
  f.AntiBloomingOn = t.CheckBox7;
  if (Status s = Int(t.Edit1, f.BloomThreshold); !s) return s;
  if (Status s = Int(t.Edit2, f.BloomThickness); !s) return s;
  if (Status s = Int(t.Edit3, f.BloomLength); !s) return s;
  f.Rotate180R = t.CheckBox1;
  f.Rotate180G = t.CheckBox2;
  f.Rotate180B = t.CheckBox3;
  f.FlattenR = t.CheckBox4;
  f.FlattenG = t.CheckBox5;
  f.FlattenB = t.CheckBox6;
  f.Tone = t.Tone;
  if (t.Tone == ToneKind::kLog) {
    if (Status s = Real(t.Edit4, f.ToneLogParameter); !s) return s;
  } else if (t.Tone == ToneKind::kGamma) {
    if (Status s = Real(t.Edit5, f.ToneGammaParameter); !s) return s;
  } else if (t.Tone == ToneKind::kAtan) {
    if (Status s = Real(t.Edit6, f.ToneAtanParameter); !s) return s;
  }
  flags = f;
  return Status::Ok();
}

AdvancedTexts AdvancedTextsOf(const AdvancedFlags& f) {
  AdvancedTexts t;
  t.CheckBox7 = f.AntiBloomingOn;
  t.Edit1 = FormatInt(f.BloomThreshold);
  t.Edit2 = FormatInt(f.BloomThickness);
  t.Edit3 = FormatInt(f.BloomLength);
  t.CheckBox1 = f.Rotate180R;
  t.CheckBox2 = f.Rotate180G;
  t.CheckBox3 = f.Rotate180B;
  t.CheckBox4 = f.FlattenR;
  t.CheckBox5 = f.FlattenG;
  t.CheckBox6 = f.FlattenB;
  t.Tone = f.Tone;
  t.Edit4 = FormatGeneral(f.ToneLogParameter);
  t.Edit5 = FormatGeneral(f.ToneGammaParameter);
  t.Edit6 = FormatGeneral(f.ToneAtanParameter);
  return t;
}

bool WhiteSpinPosition(const std::string& text, int& position) {
  double checked = 0;
  if (!ParseReal(text, checked)) return false;
  // Exact decimal arithmetic on the digits as written: sign, digits D and a
  // power of ten k with text x 100 = D x 10^k, then whole digits only.
  std::size_t i = 0;
  while (std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (text[i] == '+' || text[i] == '-') negative = text[i++] == '-';
  std::string digits;
  long long power = 2;
  for (bool fraction = false; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.') {
      fraction = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      if (fraction) --power;
    } else {
      break;
    }
  }
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool minus = false;
    if (text[i] == '+' || text[i] == '-') minus = text[i++] == '-';
    long long exponent = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
      exponent = std::min(exponent * 10 + (text[i] - '0'), 1000000LL);
    power += minus ? -exponent : exponent;
  }
  if (power < 0) {
    // Dropping the last -power digits truncates toward zero.
    const long long keep = static_cast<long long>(digits.size()) + power;
    digits.resize(keep > 0 ? static_cast<std::size_t>(keep) : 0);
    power = 0;
  }
  const std::size_t first = digits.find_first_not_of('0');
  long long magnitude = 0;
  if (first != std::string::npos) {
    constexpr long long kBeyond = static_cast<long long>(std::numeric_limits<int>::max()) + 1;
    for (std::size_t d = first; d < digits.size() && magnitude < kBeyond; ++d)
      magnitude = magnitude * 10 + (digits[d] - '0');
    for (long long z = 0; z < power && magnitude < kBeyond; ++z) magnitude *= 10;
    magnitude = std::min(magnitude, kBeyond);
  }
  const long long value = negative ? -magnitude : magnitude;
  position = static_cast<int>(
      std::clamp<long long>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
  return true;
}

std::string WhiteSpinText(int position) { return FormatDot2(position * 0.01); }

}  // namespace qirm
