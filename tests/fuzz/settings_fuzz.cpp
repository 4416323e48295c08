// SPDX-License-Identifier: GPL-3.0-or-later
// The composition settings file (.mrv) and the window settings file
// (QIRM.ini) on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/settings_file.h"
#include "tests/fuzz/fuzz_support.h"
#include "tricolour/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace qirm;
  CompositionSettings settings;
  const std::string text(reinterpret_cast<const char*>(data), size);
  fuzz::CheckMessage(ParseCompositionSettings(text, "input.mrv", settings).message());
  (void)ReadSettingsFile(fuzz::AsFile(data, size, "QIRM.ini"));
  return 0;
}
