// SPDX-License-Identifier: GPL-3.0-or-later
// The outcome of a parameter dialog's OK check: accepted with its value, a
// text that is no number (the standard conversion error), or a value the
// dialog refuses with its own message. Engine functions give it, so the
// desktop dialogs and qirm-cli show the same texts.
#pragma once

#include <string>

namespace qirm {

struct DialogCheck {
  enum Outcome { kAccepted, kNotANumber, kRefused };
  Outcome outcome = kAccepted;
  double value = 0;
  std::string message;  // the conversion error or the refusal; empty when accepted
  explicit operator bool() const { return outcome == kAccepted; }
};

}  // namespace qirm
