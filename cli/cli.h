// qirm-cli: the engine without windows. Each verb is a function from its
// arguments to an exit code: 0 success, 1 a failure reported as one
// "qirm-cli: MESSAGE" line on standard error, 2 wrong arguments.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace qirm::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

int Fail(const std::string& message);        // prints the error line, returns 1
int UsageError(const std::string& message);  // prints message and usage, returns 2
void PrintUsage(std::FILE* out);

int RunVerb(const std::vector<std::string>& args);
int MeasureVerb(const std::vector<std::string>& args);

}  // namespace qirm::cli
