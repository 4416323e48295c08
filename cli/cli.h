// SPDX-License-Identifier: GPL-3.0-or-later
// qirm-cli: the engine without windows. Each verb is a function from its
// arguments to an exit code: 0 success, 1 a failure reported as one
// "qirm-cli: MESSAGE" line on standard error, 2 wrong arguments.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/status.h"
#include "document/workspace.h"

namespace qirm::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int Fail(const std::string& message);        // prints the error line, returns 1
int UsageError(const std::string& message);  // prints message and usage, returns 2
void PrintUsage(std::FILE* out);

int RunVerb(const std::vector<std::string>& args);
int CompositeVerb(const std::vector<std::string>& args);
int SpectrumVerb(const std::vector<std::string>& args);
int ComposeVerb(const std::vector<std::string>& args);
int MeasureVerb(const std::vector<std::string>& args);
int HeaderVerb(const std::vector<std::string>& args);
int PhotometryVerb(const std::vector<std::string>& args);
int TrailVerb(const std::vector<std::string>& args);

// The editing commands of `run`, by subsystem. Each returns false when the
// name is not one of its commands; otherwise status tells how it went.
// name is the word before "=", value what follows it ("" without "=").
bool RunDisplayCommand(Workspace& ws, const std::string& name, const std::string& value, bool has_value,
                       Status& status);
bool RunFilterCommand(Workspace& ws, const std::string& name, const std::string& value, bool has_value,
                      Status& status);
// background and curve (through the undo path), resample (a new window).
bool RunToolCommand(Workspace& ws, const std::string& name, const std::string& value, bool has_value,
                    Status& status);

}  // namespace qirm::cli
