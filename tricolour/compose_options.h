// SPDX-License-Identifier: GPL-3.0-or-later
// How a composition is run, for tests and benchmarks: the same steps in the
// same order, on one thread with the plain reference loops, or with the fast
// loops on up to two threads. Both give the same bytes.
#pragma once

#include <functional>
#include <string>

#include "core/status.h"
#include "document/image_document.h"
#include "document/workspace.h"
#include "tricolour/composition_settings.h"
#include "tricolour/registration.h"

namespace qirm {

struct ComposeOptions {
  int threads = 0;     // 0: two when the machine has two cores, else one; one keeps the run to one core
  bool plain = false;  // the plain reference loops, on one thread
  // The result window's second picture (ImageZm, what the window shows) is
  // made as well. A caller without windows that only saves Image, such as
  // qirm-cli, leaves it out and saves a 3-byte-per-pixel copy.
  bool display_copy = true;
  // Kept with the result only when asked, so a plain run holds no more
  // memory: ImageDocument::deep, the result with 16 bits per channel, and
  // ImageDocument::linear, the three channels as the tone curve takes them.
  bool keep_16_bits = false;
  bool keep_linear = false;
  // Seconds spent per stage, when not null: setup (dark mean, flat,
  // reference), frames (read, clean, calibrate, register: summed over the
  // threads), accumulate, channel_end (finishing and toning the channels),
  // output. A two-star rotation that is handed straight into the mean (one
  // thread) counts as accumulate, not register.
  // Told, when set, what registration did to each light frame: channel (0
  // red, 1 green, 2 blue), the frame's place in its list, and the result, in
  // list order (benchmarks check the alignment against a set's truth).
  std::function<void(int channel, int k, const Registration& registration)> registered;
  struct Timings {
    double setup = 0, read = 0, clean = 0, calibrate = 0, register_ = 0, accumulate = 0, channel_end = 0,
           output = 0, total = 0;
  }* timings = nullptr;
};

Status ComposeTricolourWith(const ComposeOptions& options, const CompositionSettings& settings,
                            const std::function<void(int)>& progress, ImageDocument& result, MainState* main,
                            const std::function<void(const std::string&)>& notice);

}  // namespace qirm
