// Outcome of an engine operation that can fail: ok, or a message that names
// what failed (file, keyword, offset). The engine never exits the process or
// shows UI; the desktop program and qirm-cli turn the message into theirs.
#pragma once

#include <string>
#include <utility>

namespace qirm {

class Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) { return Status(std::move(message)); }

  bool ok() const { return m_ok; }
  explicit operator bool() const { return m_ok; }
  const std::string& message() const { return m_message; }

 private:
  explicit Status(std::string message) : m_ok(false), m_message(std::move(message)) {}
  bool m_ok = true;
  std::string m_message;
};

}  // namespace qirm
