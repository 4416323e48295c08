// SPDX-License-Identifier: GPL-3.0-or-later
#include "stack/composite.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "app/open_image.h"
#include "core/matrix.h"
#include "core/numbers.h"
#include "core/parallel.h"
#include "display/levels.h"
#include "document/state_texts.h"
#include "tests/support/compare.h"
#include "tests/support/cpu_levels.h"

namespace qirm {
namespace {

using test::ExpectSamePicture;

// ---------------------------------------------------------------- helpers

Picture Filled(int w, int h, std::uint8_t b, std::uint8_t g, std::uint8_t r) {
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t* px = p.Row(y) + 3 * x;
      px[0] = b;
      px[1] = g;
      px[2] = r;
    }
  return p;
}

// A sky-like picture: a smooth gradient, noise of a few levels, and now and
// then a bright or dark outlier (a hot pixel, a trail), so that both the
// quick and the clipping path of the expected value run.
Picture Sky(int w, int h, std::mt19937& rng) {
  std::normal_distribution<double> noise(0, 4);
  std::uniform_int_distribution<int> rare(0, 99);
  std::uniform_int_distribution<int> any(0, 255);
  Picture p(w, h);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = p.Row(y);
    for (int i = 0; i < 3 * w; ++i) {
      const int roll = rare(rng);
      int v = 40 + (i / 3 + 2 * y) % 180 + static_cast<int>(noise(rng));
      if (roll < 3)
        v = any(rng);
      else if (roll < 5)
        v = 255;
      row[i] = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
    }
  }
  return p;
}

Picture Noise(int w, int h, std::mt19937& rng) {
  std::uniform_int_distribution<int> any(0, 255);
  Picture p(w, h);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < 3 * w; ++i) p.Row(y)[i] = static_cast<std::uint8_t>(any(rng));
  return p;
}

std::vector<const Picture*> Pointers(const std::vector<Picture>& pictures) {
  std::vector<const Picture*> out;
  for (const Picture& p : pictures) out.push_back(&p);
  return out;
}

// The expected value as written down, pass after pass on the kept values, with
// nothing of the fast path's shortcuts (no runs, no merging, no quick test).
int ReferenceRobustMean(std::vector<int> kept) {
  if (kept.size() >= 3) {
    for (int pass = 0; pass < kClipIterations; ++pass) {
      std::sort(kept.begin(), kept.end());
      const std::size_t m = kept.size();
      const int c2 = kept[(m - 1) / 2] + kept[m / 2];  // twice the median
      std::vector<int> d2;
      for (int v : kept) d2.push_back(std::abs(2 * v - c2));
      std::sort(d2.begin(), d2.end());
      const double mad = (d2[(m - 1) / 2] + d2[m / 2]) / 4.0;
      const double sigma = std::max(1.4826 * mad, 1.0);
      std::vector<int> next;
      for (int v : kept) {
        // |v - median| against 2.5 sigma; the integer forms in the engine
        // are exact, this one is too except at exact ties, which these
        // byte values cannot reach beyond the floor.
        if (std::abs(2 * v - c2) / 2.0 <= 2.5 * sigma) next.push_back(v);
      }
      if (next.size() == kept.size()) break;
      kept = next;
    }
  }
  return std::accumulate(kept.begin(), kept.end(), 0) / static_cast<int>(kept.size());
}

// The command's loop: three integer accumulators per channel over W x H, each
// source read row by row, then the bytes made from the accumulators.
Picture ReferenceStack(const std::vector<const Picture*>& sources, CompositeMethod method) {
  const int w = sources[0]->width();
  const int h = sources[0]->height();
  const int n = static_cast<int>(sources.size());
  IntMatrix acc[3];
  for (IntMatrix& a : acc) EXPECT_EQ(AllocIntMatrix(w, h, a), 0);
  Picture out(w, h);
  if (method == CompositeMethod::Expected) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          std::vector<int> values;
          for (const Picture* p : sources) values.push_back(p->Row(y)[3 * x + c]);
          out.Row(y)[3 * x + c] = static_cast<std::uint8_t>(ReferenceRobustMean(values));
        }
    return out;
  }
  for (int k = 0; k < n; ++k) {
    if (k == 0 && method == CompositeMethod::Minimum)
      for (IntMatrix& a : acc)
        for (int x = 0; x < w; ++x)
          for (int y = 0; y < h; ++y) a[x][y] = 255;
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* row = sources[k]->Row(y);
      for (int x = 0; x < w; ++x)
        for (int c = 0; c < 3; ++c) {
          const int b = row[3 * x + c];
          int& a = acc[c][x][y];
          switch (method) {
            case CompositeMethod::Average:
            case CompositeMethod::Sum:
              a += b;
              break;
            case CompositeMethod::Maximum:
              if (a < b) a = b;
              break;
            case CompositeMethod::Minimum:
              if (a > b) a = b;
              break;
            case CompositeMethod::Expected:
              break;
          }
        }
    }
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      for (int c = 0; c < 3; ++c) {
        int v = acc[c][x][y];
        if (method == CompositeMethod::Average) v /= n;
        if (method == CompositeMethod::Sum) v = std::min(v, 255);
        out.Row(y)[3 * x + c] = static_cast<std::uint8_t>(v);
      }
  return out;
}

const CompositeMethod kAllMethods[] = {CompositeMethod::Average, CompositeMethod::Sum,
                                       CompositeMethod::Maximum, CompositeMethod::Minimum,
                                       CompositeMethod::Expected};

// ---------------------------------------------------------------- methods

TEST(StackPictures, WorkedNumbersPerMethod) {
  struct Case {
    CompositeMethod method;
    std::vector<int> reds;  // one 1 x 1 picture per value (blue 7, green 200)
    int red;
    int green;
    int blue = 7;
  };
  const Case cases[] = {
      {CompositeMethod::Average, {10, 11}, 10, 200},          // trunc(21 / 2)
      {CompositeMethod::Average, {255, 255, 255}, 255, 200},  // no 8-bit overflow
      {CompositeMethod::Average, {1, 1, 0}, 0, 200},
      {CompositeMethod::Sum, {10, 20, 30}, 60, 255, 21},  // green 600 saturates
      {CompositeMethod::Sum, {200, 100}, 255, 255, 14},
      {CompositeMethod::Maximum, {10, 250, 3}, 250, 200},
      {CompositeMethod::Minimum, {255, 255}, 255, 200},  // starts from 255, not 0
      {CompositeMethod::Minimum, {90, 12, 40}, 12, 200},
      {CompositeMethod::Expected, {10, 11}, 10, 200},       // two: the plain average
      {CompositeMethod::Expected, {10, 10, 255}, 10, 200},  // one trail in three frames
      {CompositeMethod::Expected, {57, 140, 127, 80, 131, 105, 12, 131}, 129, 200},  // five passes
  };
  for (const Case& c : cases) {
    std::vector<Picture> pictures;
    for (int r : c.reds) pictures.push_back(Filled(1, 1, 7, 200, static_cast<std::uint8_t>(r)));
    const Picture out = StackPictures(Pointers(pictures), c.method);
    ASSERT_EQ(out.width(), 1);
    EXPECT_EQ(out.Color(0, 0), (static_cast<unsigned>(c.blue) << 16) | (static_cast<unsigned>(c.green) << 8) |
                                   static_cast<unsigned>(c.red))
        << "method " << static_cast<int>(c.method) << " first red " << c.reds[0];
  }
}

TEST(StackPictures, OneSourceGivesItsPicture) {
  std::mt19937 rng(5);
  const std::vector<Picture> one = {Noise(37, 9, rng)};
  for (CompositeMethod m : kAllMethods) ExpectSamePicture(StackPictures(Pointers(one), m), one[0]);
}

TEST(StackPictures, SameBytesAsThePlainLoop) {
  // Widths not a multiple of the block of stacks; counts around the quick
  // paths (1, 2, 3), the 16 of a typical session, and past 257 where the
  // 16-bit sums would overflow.
  std::mt19937 rng(42);
  for (int n : {1, 2, 3, 4, 5, 8, 16, 17, 300}) {
    const int w = n == 300 ? 23 : 61;
    const int h = n == 300 ? 3 : 7;
    std::vector<Picture> sky, noise;
    for (int k = 0; k < n; ++k) {
      sky.push_back(Sky(w, h, rng));
      noise.push_back(Noise(w, h, rng));
    }
    for (CompositeMethod m : kAllMethods) {
      SCOPED_TRACE("n " + std::to_string(n) + " method " + std::to_string(static_cast<int>(m)));
      const Picture sky_expected = ReferenceStack(Pointers(sky), m);
      const Picture noise_expected = ReferenceStack(Pointers(noise), m);
      test::AtEveryCpuLevel([&](CpuLevel) {
        ExpectSamePicture(StackPictures(Pointers(sky), m), sky_expected);
        ExpectSamePicture(StackPictures(Pointers(noise), m), noise_expected);
      });
    }
  }
}

TEST(StackPictures, SameBytesOnThreadsAndReportsRowsDone) {
  // Big enough to be shared between threads.
  std::mt19937 rng(7);
  std::vector<Picture> sky;
  for (int k = 0; k < 9; ++k) sky.push_back(Sky(301, 419, rng));
  for (CompositeMethod m : kAllMethods) {
    std::vector<int> seen;
    const Picture out = StackPictures(Pointers(sky), m, [&](int p) { seen.push_back(p); });
    ExpectSamePicture(out, ReferenceStack(Pointers(sky), m));
    test::AtEveryCpuLevel([&](CpuLevel) {
      for (int threads : {1, 3}) {
        ScopedThreadCount count(threads);
        ExpectSamePicture(StackPictures(Pointers(sky), m), out);
      }
    });
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 0);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end()) << "a value reported twice";
    EXPECT_LT(seen.back(), 100);
  }
}

TEST(RobustStackMean, RejectsOutliersAndKeepsTheRest) {
  struct Case {
    std::vector<std::uint8_t> values;
    int expected;
  };
  const Case cases[] = {
      {{77}, 77},
      {{10, 11}, 10},  // plain average below three
      {{0, 255}, 127},
      {{10, 10, 255}, 10},  // the trail goes, whichever frame it is in
      {{255, 10, 10}, 10},
      {{100, 103, 110}, 104},                                  // 110 lies 7 out, 2.5 sigma is 11.1: all stay
      {{10, 10, 11, 13}, 11},                                  // 13 lies exactly 2.5 floor-sigma out: stays
      {{10, 10, 11, 14}, 10},                                  // 14 lies 3.5 out: goes
      {{50, 50, 50, 50, 50, 50, 50, 50, 50, 50, 0, 255}, 50},  // one hot, one dead
      {{120, 118, 121, 119, 122, 120, 117, 123, 120, 121, 119, 120, 118, 122, 121, 255}, 120},
      {{57, 140, 127, 80, 131, 105, 12, 131}, 129},  // five passes; a sixth would give 131
      {{0, 0, 0, 0, 0, 0}, 0},
      {{255, 255, 255, 255}, 255},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> v = c.values;
    EXPECT_EQ(RobustStackMean(v), c.expected)
        << "first value " << int(c.values[0]) << ", " << c.values.size();
  }
}

TEST(RobustStackMean, MatchesTheReferenceOnManyStacks) {
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0, 6);
  std::uniform_int_distribution<int> any(0, 255), count(1, 40), rare(0, 9);
  for (int t = 0; t < 20000; ++t) {
    const int n = count(rng);
    const int centre = any(rng);
    std::vector<std::uint8_t> v;
    std::vector<int> ref;
    for (int k = 0; k < n; ++k) {
      int x = rare(rng) == 0 ? any(rng) : centre + static_cast<int>(noise(rng));
      x = std::clamp(x, 0, 255);
      v.push_back(static_cast<std::uint8_t>(x));
      ref.push_back(x);
    }
    ASSERT_EQ(RobustStackMean(v), ReferenceRobustMean(ref)) << "stack " << t;
  }
}

// ---------------------------------------------------------------- 16-bit

TEST(StackRawValues, WorkedNumbersPerMethod) {
  // Three frames of four values: the extremes, a sum beyond 65535, an
  // average that truncates, and a stack with one far outlier.
  const std::vector<std::uint16_t> a = {0, 65535, 1000, 1000};
  const std::vector<std::uint16_t> b = {0, 65535, 1001, 1002};
  const std::vector<std::uint16_t> c = {1, 65534, 1001, 60000};
  const std::vector<const std::uint16_t*> frames = {a.data(), b.data(), c.data()};
  const struct {
    CompositeMethod method;
    std::vector<std::uint16_t> expected;
  } cases[] = {
      {CompositeMethod::Average, {0, 65534, 1000, 20667}},  // trunc(196604 / 3), trunc(3002 / 3)
      {CompositeMethod::Sum, {1, 65535, 3002, 62002}},      // saturating at 65535
      {CompositeMethod::Maximum, {1, 65535, 1001, 60000}},
      {CompositeMethod::Minimum, {0, 65534, 1000, 1000}},
      // 60000 lies far beyond 2.5 sigma of {1000, 1002}: the mean of the
      // other two. Without outliers the expected value is the average.
      {CompositeMethod::Expected, {0, 65534, 1000, 1001}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StackRawValues(frames, 2, 2, c.method), c.expected) << static_cast<int>(c.method);
  }
  EXPECT_TRUE(StackRawValues({}, 2, 2, CompositeMethod::Average).empty());
}

TEST(RobustStackMean16, MatchesTheReferenceOnManyStacks) {
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0, 40);
  std::uniform_int_distribution<int> any(0, 65535), count(1, 30), rare(0, 9);
  for (int t = 0; t < 20000; ++t) {
    const int n = count(rng);
    const int centre = any(rng);
    std::vector<std::uint16_t> v;
    std::vector<int> ref;
    for (int k = 0; k < n; ++k) {
      const int x = std::clamp(rare(rng) == 0 ? any(rng) : centre + static_cast<int>(noise(rng)), 0, 65535);
      v.push_back(static_cast<std::uint16_t>(x));
      ref.push_back(x);
    }
    ASSERT_EQ(RobustStackMean16(v), ReferenceRobustMean(ref)) << "stack " << t;
  }
}

TEST(StackRawValues, SameValuesOnThreadsAsThePlainLoop) {
  const int w = 173, h = 389, n = 5;
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> any(0, 65535), rare(0, 49);
  std::normal_distribution<double> noise(0, 30);
  std::vector<std::vector<std::uint16_t>> frames(n, std::vector<std::uint16_t>(w * h));
  for (auto& f : frames)
    for (std::size_t i = 0; i < f.size(); ++i)
      f[i] = static_cast<std::uint16_t>(std::clamp(
          rare(rng) == 0 ? any(rng) : 20000 + static_cast<int>(i % 977) + static_cast<int>(noise(rng)), 0,
          65535));
  std::vector<const std::uint16_t*> sources;
  for (const auto& f : frames) sources.push_back(f.data());
  for (CompositeMethod method : kAllMethods) {
    std::vector<std::uint16_t> plain(w * h);
    for (std::size_t i = 0; i < plain.size(); ++i) {
      std::vector<int> stack;
      for (const auto& f : frames) stack.push_back(f[i]);
      const long long sum = std::accumulate(stack.begin(), stack.end(), 0LL);
      switch (method) {
        case CompositeMethod::Average:
          plain[i] = static_cast<std::uint16_t>(sum / n);
          break;
        case CompositeMethod::Sum:
          plain[i] = static_cast<std::uint16_t>(std::min(sum, 65535LL));
          break;
        case CompositeMethod::Maximum:
          plain[i] = static_cast<std::uint16_t>(*std::max_element(stack.begin(), stack.end()));
          break;
        case CompositeMethod::Minimum:
          plain[i] = static_cast<std::uint16_t>(*std::min_element(stack.begin(), stack.end()));
          break;
        case CompositeMethod::Expected:
          plain[i] = static_cast<std::uint16_t>(ReferenceRobustMean(stack));
          break;
      }
    }
    std::vector<int> percents;
    const auto threaded = StackRawValues(sources, w, h, method, [&](int p) { percents.push_back(p); });
    EXPECT_EQ(threaded, plain) << static_cast<int>(method);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 0);
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
    EXPECT_LT(percents.back(), 100);
    ScopedThreadLimit one(1);
    EXPECT_EQ(StackRawValues(sources, w, h, method), plain) << static_cast<int>(method);
  }
}

// ---------------------------------------------------------------- command

class CompositeCommand : public testing::Test {
 protected:
  ImageDocument& Window(const std::string& caption, const Picture& base) {
    ImageDocument& d = ws.NewWindow();
    d.caption = caption;
    d.kind = WindowKind::kColour;
    d.Image = base;
    d.ImageZm = base;
    d.width = base.width();
    d.height = base.height();
    d.zoom = 1.00;
    return d;
  }
  Status Run(const std::vector<CompositeEntry>& entries, CompositeMethod method = CompositeMethod::Average) {
    skipped.clear();
    return RunComposite(ws, {entries, method}, skipped, [&](int p) { progress.push_back(p); });
  }

  Workspace ws;
  std::vector<std::string> skipped;
  std::vector<int> progress;
};

TEST_F(CompositeCommand, NewWindowHoldsTheStackAndItsFields) {
  Window("a.bmp", Filled(4, 3, 0, 0, 10));
  Window("b.bmp", Filled(4, 3, 0, 0, 11));
  ws.main().zoom = 0.25;
  ws.main().max_edit.Type("1888");
  const Status s = Run(CompositeCandidates(ws));
  ASSERT_TRUE(s.ok()) << s.message();
  ASSERT_EQ(ws.windows().size(), 3u);
  const ImageDocument& n = *ws.windows().back();
  EXPECT_EQ(ws.active(), &n);
  EXPECT_EQ(n.caption, "New");
  EXPECT_EQ(n.kind, WindowKind::kColour);
  EXPECT_EQ(n.edited, true);
  EXPECT_EQ(n.width, 4);
  EXPECT_EQ(n.height, 3);
  EXPECT_EQ(n.channels, 1);
  EXPECT_EQ(ZoomFactorText(n), "1.00");
  EXPECT_EQ(n.max_level, 255);
  EXPECT_EQ(n.min_level, 0);
  EXPECT_EQ(n.Image, n.ImageZm);
  EXPECT_EQ(n.Image.Color(3, 2), 10u);
  EXPECT_EQ(ZoomPercentText(ws.main()), "100.0%");
  EXPECT_EQ(ws.main().max_edit.text, "255");
  EXPECT_EQ(ws.main().min_edit.text, "0");
  EXPECT_EQ(ws.main().max_spin, 255);
  EXPECT_EQ(ws.main().min_spin, 0);
  EXPECT_TRUE(skipped.empty());
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 0);
  // The sources are untouched.
  EXPECT_EQ(ws.windows()[0]->ImageZm, Filled(4, 3, 0, 0, 10));
}

TEST_F(CompositeCommand, ASourceOfAnotherSizeRefusesTheWholeStack) {
  Window("a.bmp", Filled(4, 3, 1, 1, 1));
  Window("odd.bmp", Filled(5, 3, 1, 1, 1));
  Window("c.bmp", Filled(4, 3, 1, 1, 1));
  ImageDocument* active = ws.active();
  const Status s = Run(CompositeCandidates(ws), CompositeMethod::Maximum);
  ASSERT_FALSE(s.ok());
  EXPECT_EQ(s.message(),
            "composite: \"odd.bmp\" is 5 x 3, the first image \"a.bmp\" is 4 x 3; nothing was stacked");
  EXPECT_EQ(ws.windows().size(), 3u);
  EXPECT_EQ(ws.active(), active);
}

TEST_F(CompositeCommand, SameCaptionsStackEachListedWindowOnce) {
  // Two Netpbm windows are both called "Child"; each entry is its own window.
  Window("Child", Filled(2, 2, 0, 0, 100));
  Window("Child", Filled(2, 2, 0, 0, 200));
  ASSERT_TRUE(Run(CompositeCandidates(ws)).ok());
  EXPECT_EQ(ws.windows().back()->Image.Color(0, 0), 150u);
  // Only the second one listed: the second one is stacked.
  ASSERT_TRUE(Run({{"Child", 1}}).ok());
  EXPECT_EQ(ws.windows().back()->Image.Color(1, 1), 200u);
}

TEST_F(CompositeCommand, EntriesOfClosedWindowsAreSkippedAndNotCounted) {
  Window("a.bmp", Filled(2, 2, 0, 0, 30));
  ImageDocument& gone = Window("gone.bmp", Filled(2, 2, 0, 0, 250));
  Window("c.bmp", Filled(2, 2, 0, 0, 60));
  const std::vector<CompositeEntry> listed = CompositeCandidates(ws);
  ws.Close(&gone);
  ASSERT_TRUE(Run(listed).ok());
  ASSERT_EQ(skipped.size(), 1u);
  EXPECT_EQ(skipped[0], "composite: \"gone.bmp\" is no longer open; skipped");
  EXPECT_EQ(ws.windows().back()->Image.Color(0, 0), 45u);  // (30 + 60) / 2, not / 3
  // c.bmp moved up one place and is still found by its caption.
}

TEST_F(CompositeCommand, NothingToStack) {
  EXPECT_TRUE(Run({}).ok());
  EXPECT_TRUE(ws.windows().empty());
  const Status s = Run({{"m42.fits", 0}});
  EXPECT_FALSE(s.ok());
  EXPECT_EQ(skipped.size(), 1u);
  EXPECT_TRUE(ws.windows().empty());
}

// A 16-bit window of raw values value(x, y), as an opened frame holds them.
template <class Value>
ImageDocument& RawWindowIn(Workspace& ws, const std::string& caption, int w, int h, Value value) {
  IntMatrix m;
  EXPECT_EQ(AllocIntMatrix(w, h, m), 0);
  for (int x = 0; x < w; ++x)
    for (int y = 0; y < h; ++y) m[x][y] = value(x, y);
  ImageDocument& d = ws.NewWindow();
  d.caption = caption;
  d.kind = WindowKind::kRaw16;
  FillRawPlane(m, w, h, d.raw);
  d.Image = RenderRawLevels(m, w, h, 2000, 0);
  d.width = w;
  d.height = h;
  d.zoom = 1.0;
  return d;
}

TEST_F(CompositeCommand, SixteenBitWindowsStackTheirRawValuesIntoASixteenBitWindow) {
  const int w = 40, h = 30;
  // Values that cross multiples of 256 and sum beyond 65535.
  const auto a = [](int x, int y) { return 30000 + 257 * x + y; };
  const auto b = [](int x, int y) { return 40001 + 3 * x - y; };
  RawWindowIn(ws, "a.fits", w, h, a);
  RawWindowIn(ws, "b.fits", w, h, b);
  ws.main().zoom = 4;
  const struct {
    CompositeMethod method;
    std::function<int(int, int)> expected;
  } cases[] = {
      {CompositeMethod::Average, [&](int x, int y) { return (a(x, y) + b(x, y)) / 2; }},
      {CompositeMethod::Sum, [&](int x, int y) { return std::min(a(x, y) + b(x, y), 65535); }},
      {CompositeMethod::Maximum, [&](int x, int y) { return std::max(a(x, y), b(x, y)); }},
      {CompositeMethod::Minimum, [&](int x, int y) { return std::min(a(x, y), b(x, y)); }},
      {CompositeMethod::Expected, [&](int x, int y) { return (a(x, y) + b(x, y)) / 2; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.method));
    progress.clear();
    const Status s = Run({{"a.fits", 0}, {"b.fits", 1}}, c.method);
    ASSERT_TRUE(s.ok()) << s.message();
    const ImageDocument& n = *ws.windows().back();
    EXPECT_EQ(ws.active(), &n);
    EXPECT_EQ(n.caption, "New");
    EXPECT_EQ(n.kind, WindowKind::kRaw16);
    IntMatrix raw;
    ASSERT_EQ(AllocIntMatrix(w, h, raw), 0);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        ASSERT_EQ(n.raw.At(x, y), c.expected(x, y)) << x << ", " << y;
        raw[x][y] = c.expected(x, y);
      }
    // The levels, mean and minimum an opened frame of these values gets,
    // and the picture shown under them.
    const InitialLevelsResult levels = InitialLevels(raw, w, h);
    EXPECT_EQ(n.max_level, levels.max);
    EXPECT_EQ(n.min_level, levels.min);
    EXPECT_EQ(n.mean, levels.mean);
    EXPECT_EQ(n.minimum, levels.min);
    EXPECT_EQ(n.Image, RenderRawLevels(raw, w, h, levels.max, levels.min));
    EXPECT_EQ(ws.main().max_edit.text, FormatInt(levels.max));
    EXPECT_EQ(ws.main().min_edit.text, FormatInt(levels.min));
    EXPECT_EQ(ws.main().max_spin, levels.max);
    EXPECT_EQ(ZoomPercentText(ws.main()), "100.0%");
    EXPECT_EQ(n.edited, true);
    EXPECT_EQ(n.width, w);
    EXPECT_EQ(n.height, h);
    EXPECT_EQ(n.channels, 1);
    EXPECT_EQ(ZoomFactorText(n), "1.00");
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 0);
  }
  EXPECT_EQ(ws.windows().size(), 7u);
}

TEST_F(CompositeCommand, SixteenBitAndColourWindowsDoNotMix) {
  RawWindowIn(ws, "m13.fits", 4, 3, [](int, int) { return 1000; });
  Window("sky.bmp", Filled(4, 3, 1, 2, 3));
  RawWindowIn(ws, "m13b.fits", 4, 3, [](int, int) { return 1000; });
  ImageDocument* active = ws.active();
  for (CompositeMethod method : kAllMethods) {
    const Status s = Run(CompositeCandidates(ws), method);
    ASSERT_FALSE(s.ok());
    // Both kinds are named, each by one of its windows.
    EXPECT_EQ(
        s.message().rfind(
            "コンポジット: 16ビットの画像「m13.fits」とカラー画像「sky.bmp」は一緒に合成できません。", 0),
        0u)
        << s.message();
    EXPECT_EQ(ws.windows().size(), 3u);
    EXPECT_EQ(ws.active(), active);
  }
  // Raw windows of another size are refused as pictures are.
  RawWindowIn(ws, "small.fits", 3, 3, [](int, int) { return 5; });
  const Status s = Run({{"m13.fits", 0}, {"small.fits", 3}});
  EXPECT_EQ(s.message(),
            "composite: \"small.fits\" is 3 x 3, the first image \"m13.fits\" is 4 x 3; nothing was stacked");
  EXPECT_EQ(ws.windows().size(), 4u);
}

// The five M13 frames of the shared data, stacked as windows, against numpy's
// statistics of the raw frames (stored + 32768, as QIRM reads them).
TEST_F(CompositeCommand, RealFramesStackAsNumpyStacksTheRawValues) {
  const std::string dir = std::string(QIRM_DATA_DIR) + "/registration";
  std::vector<std::string> files;
  for (int i = 1; i <= 5; ++i) files.push_back(dir + "/M13_blue_000" + std::to_string(i) + ".fits");
  for (const std::string& f : files)
    if (!std::filesystem::exists(f)) GTEST_SKIP() << "no " << f;
  const char* python = "/usr/bin/python3";
  if (!std::filesystem::exists(python)) GTEST_SKIP() << "no " << python;

  const std::filesystem::path tmp =
      std::filesystem::temp_directory_path() / ("qirm-m13-" + std::to_string(getpid()));
  std::filesystem::create_directories(tmp);
  const std::string script = (tmp / "stack.py").string();
  std::ofstream(script) << R"PY(
import sys
import numpy as np
try:
    from astropy.io import fits
except ImportError:
    sys.exit(3)
out = sys.argv[1]
raw = np.stack([fits.getdata(p, do_not_scale_image_data=True).astype(np.int64) + 32768 for p in sys.argv[2:]])
n = raw.shape[0]
results = {
    'average': raw.sum(axis=0) // n,  # non-negative: floor is truncation
    'sum': np.minimum(raw.sum(axis=0), 65535),
    'maximum': raw.max(axis=0),
    'minimum': raw.min(axis=0),
}
for name, values in results.items():
    values.astype('<u2').tofile(out + '/' + name + '.u16')
)PY";
  std::string command = std::string(python) + " '" + script + "' '" + tmp.string() + "'";
  for (const std::string& f : files) command += " '" + f + "'";
  const int status = std::system(command.c_str());
  if (WIFEXITED(status) && WEXITSTATUS(status) == 3) {
    std::filesystem::remove_all(tmp);
    GTEST_SKIP() << "no astropy";
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;

  for (const std::string& f : files) ASSERT_TRUE(OpenImageFile(ws, f, FileType::Fits).ok()) << f;
  const std::vector<CompositeEntry> all = CompositeCandidates(ws);
  const std::pair<const char*, CompositeMethod> methods[] = {{"average", CompositeMethod::Average},
                                                             {"sum", CompositeMethod::Sum},
                                                             {"maximum", CompositeMethod::Maximum},
                                                             {"minimum", CompositeMethod::Minimum}};
  for (const auto& [name, method] : methods) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(Run(all, method).ok());
    const ImageDocument& n = *ws.windows().back();
    ASSERT_EQ(n.kind, WindowKind::kRaw16);
    const int w = n.raw.width, h = n.raw.height;
    ASSERT_EQ(w, 1392);
    ASSERT_EQ(h, 1040);
    std::ifstream in((tmp / (std::string(name) + ".u16")).string(), std::ios::binary);
    std::vector<std::uint16_t> expected(static_cast<std::size_t>(w) * h);
    ASSERT_TRUE(
        in.read(reinterpret_cast<char*>(expected.data()), static_cast<std::streamsize>(2 * expected.size())));
    int wrong = 0;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const int want = expected[static_cast<std::size_t>(y) * w + x];
        const int got = n.raw.At(x, y);
        if (got != want && wrong++ < 5)
          ADD_FAILURE() << "(" << x << ", " << y << "): " << got << " != " << want;
      }
    EXPECT_EQ(wrong, 0);
    ws.Close(ws.windows().back().get());
  }
  std::filesystem::remove_all(tmp);
}

TEST(Composite, RequestAndMethodNames) {
  for (const auto& [text, runs] : std::vector<std::pair<std::string, bool>>{
           {"0", false}, {"", false}, {"-1", false}, {"1", true}, {"12", true}, {"00", true}}) {
    EXPECT_EQ(CompositeRequested(text), runs) << '"' << text << '"';
  }
  CompositeMethod m;
  ASSERT_TRUE(CompositeMethodFromName("expected", m));
  EXPECT_EQ(m, CompositeMethod::Expected);
  ASSERT_TRUE(CompositeMethodFromName("minimum", m));
  EXPECT_EQ(m, CompositeMethod::Minimum);
  EXPECT_FALSE(CompositeMethodFromName("median", m));
  EXPECT_FALSE(CompositeMethodFromName("Average", m));
}

}  // namespace
}  // namespace qirm
