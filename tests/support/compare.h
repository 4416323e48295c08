// SPDX-License-Identifier: GPL-3.0-or-later
// Element-by-element comparison of pictures and integer matrices for engine
// tests. A failure names the first difference (its coordinates and both
// values), lists a few more, counts them all, and saves the actual and the
// expected data with a map of where they differ, so that a failing case can
// be looked at rather than guessed at.
//
// The files go to $TEST_UNDECLARED_OUTPUTS_DIR when it is set, else to
// QIRM_TEST_FAILURE_DIR (build/tests/failures), named after the running test:
//   Suite.Name.actual.bmp, Suite.Name.expected.bmp, Suite.Name.diff.bmp
// for pictures; Suite.Name.actual.pgm and Suite.Name.expected.pgm (16-bit)
// and Suite.Name.diff.bmp for matrices. Later failures in the same test add
// "-2", "-3", ... to the name, so none overwrites another.
//
// SamePicture / SameMatrix return an AssertionResult for EXPECT_TRUE or
// ASSERT_TRUE; ExpectSamePicture / ExpectSameMatrix add a non-fatal failure
// reported at the caller's line.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <source_location>
#include <sstream>
#include <string>
#include <vector>

#include "core/bmp_file.h"
#include "core/matrix.h"
#include "core/picture.h"

#ifndef QIRM_TEST_FAILURE_DIR
#define QIRM_TEST_FAILURE_DIR "failures"
#endif

// The caller's place for failure messages. clang 14 lacks the builtin that
// libstdc++'s std::source_location needs; its __builtin_FILE and
// __builtin_LINE give the same.
#if defined(__cpp_lib_source_location)
using CallerPlace = std::source_location;
#else
struct CallerPlace {
  const char* file = "";
  unsigned line_number = 0;
  static CallerPlace current(const char* file = __builtin_FILE(), unsigned line = __builtin_LINE()) {
    return {file, line};
  }
  const char* file_name() const { return file; }
  unsigned line() const { return line_number; }
};
#endif

namespace qirm::test {
namespace compare_detail {

// Differences listed after the first one; the rest are only counted.
constexpr int kListed = 8;

inline std::filesystem::path FailureDir() {
  const char* dir = std::getenv("TEST_UNDECLARED_OUTPUTS_DIR");
  return dir != nullptr && *dir != '\0' ? dir : QIRM_TEST_FAILURE_DIR;
}

// "Suite.Name" of the running test as a file name (parameterised names hold
// '/'), with "-N" from the second failure of the same test on.
inline std::string FailureStem() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name =
      info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "outside_tests";
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-') c = '_';
  static std::string last;
  static int count = 0;
  count = name == last ? count + 1 : 1;
  last = name;
  return count == 1 ? name : name + "-" + std::to_string(count);
}

struct FileToSave {
  const char* label;                // "actual", "expected", "diff"
  const char* extension;            // "bmp", "pgm"
  std::vector<std::uint8_t> bytes;  // empty: could not be encoded
};

// Writes the files and returns one "  label: path" line for each.
inline std::string Save(const std::vector<FileToSave>& files) {
  std::error_code error;
  const std::filesystem::path dir = std::filesystem::absolute(FailureDir(), error);
  std::filesystem::create_directories(dir, error);
  const std::string stem = FailureStem();
  std::string text;
  for (const FileToSave& f : files) {
    const std::filesystem::path path = dir / (stem + "." + f.label + "." + f.extension);
    text += std::string("\n  ") + f.label + ": ";
    if (f.bytes.empty()) {
      text += "(nothing to save)";
      continue;
    }
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(f.bytes.data()), static_cast<std::streamsize>(f.bytes.size()));
    text += out ? path.string() : "could not write " + path.string();
  }
  return text;
}

inline std::vector<std::uint8_t> Bmp(const Picture& p) {
  std::vector<std::uint8_t> bytes;
  if (!EncodeBmp(p, bytes)) bytes.clear();
  return bytes;
}

// "first difference at WHERE: A, expected E", up to kListed more, and the
// count of the rest.
class DifferenceList {
 public:
  void Add(const std::string& where, long long actual, long long expected) {
    if (m_count <= kListed) {
      m_text << (m_count == 0 ? "; first difference at " : "\n  ") << where << ": " << actual << ", expected "
             << expected;
    }
    ++m_count;
  }
  long long count() const { return m_count; }
  std::string text() const {
    std::string t = m_text.str();
    if (m_count > kListed + 1) t += "\n  and " + std::to_string(m_count - kListed - 1) + " more";
    return t;
  }

 private:
  long long m_count = 0;
  std::ostringstream m_text;
};

}  // namespace compare_detail

// Same size and every byte equal. Differences are reported as
// "x X, y Y, channel C" with channel 0 blue, 1 green, 2 red.
inline ::testing::AssertionResult SamePicture(const Picture& actual, const Picture& expected) {
  using namespace compare_detail;
  if (actual.width() != expected.width() || actual.height() != expected.height()) {
    return ::testing::AssertionFailure()
           << "picture size " << actual.width() << " x " << actual.height() << ", expected "
           << expected.width() << " x " << expected.height()
           << Save({{"actual", "bmp", Bmp(actual)}, {"expected", "bmp", Bmp(expected)}});
  }
  const int w = expected.width();
  const int h = expected.height();
  DifferenceList differences;
  // Expected dimmed to a quarter for context, red where any channel differs.
  Picture map(w, h);
  for (int y = 0; y < h; ++y) {
    const std::uint8_t* a = actual.Row(y);
    const std::uint8_t* e = expected.Row(y);
    std::uint8_t* m = map.Row(y);
    for (std::size_t i = 0; i < expected.stride(); ++i) m[i] = static_cast<std::uint8_t>(e[i] / 4);
    if (std::memcmp(a, e, expected.stride()) == 0) continue;
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        const int i = 3 * x + c;
        if (a[i] == e[i]) continue;
        differences.Add(
            "x " + std::to_string(x) + ", y " + std::to_string(y) + ", channel " + std::to_string(c), a[i],
            e[i]);
        m[3 * x] = 0;
        m[3 * x + 1] = 0;
        m[3 * x + 2] = 255;
      }
  }
  if (differences.count() == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "pictures differ in " << differences.count() << " of "
                                       << 3LL * w * h << " bytes" << differences.text()
                                       << Save({{"actual", "bmp", Bmp(actual)},
                                                {"expected", "bmp", Bmp(expected)},
                                                {"diff", "bmp", Bmp(map)}});
}

// The w x h corner of both matrices equal, element by element ([x][y]).
// The matrices are saved as 16-bit PGM: values as they are when all lie in
// 0..65535, else both scaled alike from the range that covers them and
// 0..65535, which the message then gives.
inline ::testing::AssertionResult SameMatrix(const IntMatrix& actual, const IntMatrix& expected, int w,
                                             int h) {
  using namespace compare_detail;
  if (w > actual.count() || h > actual.n() || w > expected.count() || h > expected.n()) {
    return ::testing::AssertionFailure()
           << "cannot compare " << w << " x " << h << " elements of matrices of " << actual.count() << " x "
           << actual.n() << " and " << expected.count() << " x " << expected.n();
  }
  DifferenceList differences;
  for (int x = 0; x < w; ++x) {
    const std::int32_t* a = actual[x];
    const std::int32_t* e = expected[x];
    if (std::equal(a, a + h, e)) continue;
    for (int y = 0; y < h; ++y)
      if (a[y] != e[y]) differences.Add("[" + std::to_string(x) + "][" + std::to_string(y) + "]", a[y], e[y]);
  }
  if (differences.count() == 0) return ::testing::AssertionSuccess();

  // One mapping for both files, so that equal values look equal.
  long long lo = 0, hi = 65535;
  for (const IntMatrix* m : {&actual, &expected})
    for (int x = 0; x < w; ++x) {
      const auto [min, max] = std::minmax_element((*m)[x], (*m)[x] + h);
      lo = std::min<long long>(lo, *min);
      hi = std::max<long long>(hi, *max);
    }
  const auto level = [lo, hi](std::int32_t v) { return static_cast<int>((v - lo) * 65535 / (hi - lo)); };
  const auto pgm = [&](const IntMatrix& m) {
    const std::string header = "P5\n" + std::to_string(w) + " " + std::to_string(h) + "\n65535\n";
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int v = level(m[x][y]);
        bytes.push_back(static_cast<std::uint8_t>(v >> 8));
        bytes.push_back(static_cast<std::uint8_t>(v & 0xFF));
      }
    return bytes;
  };
  Picture map(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* m = map.Row(y) + 3 * x;
      if (actual[x][y] != expected[x][y]) {
        m[0] = 0;
        m[1] = 0;
        m[2] = 255;
      } else {
        m[0] = m[1] = m[2] = static_cast<std::uint8_t>(level(expected[x][y]) >> 10);
      }
    }
  std::ostringstream scale;
  if (lo < 0 || hi > 65535) scale << "\n  saved scaled: 0 is " << lo << ", 65535 is " << hi;
  return ::testing::AssertionFailure()
         << "matrices differ in " << differences.count() << " of " << static_cast<long long>(w) * h
         << " elements" << differences.text() << scale.str()
         << Save({{"actual", "pgm", pgm(actual)},
                  {"expected", "pgm", pgm(expected)},
                  {"diff", "bmp", Bmp(map)}});
}

// Both matrices of the same size and equal throughout.
inline ::testing::AssertionResult SameMatrix(const IntMatrix& actual, const IntMatrix& expected) {
  if (actual.count() != expected.count() || actual.n() != expected.n()) {
    return ::testing::AssertionFailure() << "matrix size " << actual.count() << " x " << actual.n()
                                         << ", expected " << expected.count() << " x " << expected.n();
  }
  return SameMatrix(actual, expected, expected.count(), expected.n());
}

inline void ExpectSamePicture(const Picture& actual, const Picture& expected,
                              CallerPlace where = CallerPlace::current()) {
  if (const ::testing::AssertionResult same = SamePicture(actual, expected); !same)
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << same.message();
}

inline void ExpectSameMatrix(const IntMatrix& actual, const IntMatrix& expected,
                             CallerPlace where = CallerPlace::current()) {
  if (const ::testing::AssertionResult same = SameMatrix(actual, expected); !same)
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << same.message();
}

inline void ExpectSameMatrix(const IntMatrix& actual, const IntMatrix& expected, int w, int h,
                             CallerPlace where = CallerPlace::current()) {
  if (const ::testing::AssertionResult same = SameMatrix(actual, expected, w, h); !same)
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << same.message();
}

}  // namespace qirm::test
