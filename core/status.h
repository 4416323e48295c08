// SPDX-License-Identifier: GPL-3.0-or-later
// Outcome of an engine operation that can fail: ok, or a message that names
// what failed (file, keyword, offset). The engine never exits the process or
// shows UI; the desktop program and qirm-cli turn the message into theirs.
// A message is always one printable line (core/printable.h): whatever a path
// or a file holds, it cannot break the line or put raw bytes on a terminal.
#pragma once

#include <string>
#include <utility>

#include "core/printable.h"

namespace qirm {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(const std::string& message) { return Status(PrintableText(message)); }

  bool ok() const { return m_ok; }
  explicit operator bool() const { return m_ok; }
  const std::string& message() const { return m_message; }

 private:
  explicit Status(std::string message) : m_ok(false), m_message(std::move(message)) {}
  bool m_ok = true;
  std::string m_message;
};

}  // namespace qirm
