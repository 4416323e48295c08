// SPDX-License-Identifier: GPL-3.0-or-later
// Resampling: worked cases (flat pictures, nearest, area, flux), the texts
// of qirm-cli's form, and the real frames against Pillow's resize with the
// same kernels.
#include "display/resample.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>

#include "app/open_image.h"
#include "core/file_bytes.h"
#include "display/raw_values.h"
#include "document/workspace.h"

namespace qirm {
namespace {

std::vector<std::uint16_t> Ramp(int w, int h) {
  std::vector<std::uint16_t> v(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      v[static_cast<std::size_t>(y) * w + x] = static_cast<std::uint16_t>(100 * x + 7 * y);
  return v;
}

TEST(Resample, FlatStaysFlatToTheBordersWithEveryKernelAndSize) {
  const std::vector<std::uint16_t> flat(37 * 23, 40000);
  for (ResampleMethod m : {ResampleMethod::kNearest, ResampleMethod::kBilinear, ResampleMethod::kBicubic,
                           ResampleMethod::kLanczos3, ResampleMethod::kArea})
    for (const auto& [w, h] :
         std::vector<std::pair<int, int>>{{74, 46}, {18, 11}, {5, 3}, {100, 9}, {1, 1}}) {
      const std::vector<std::uint16_t> out = ResampleRaw(flat, 37, 23, {w, h, m, false});
      ASSERT_EQ(out.size(), static_cast<std::size_t>(w) * h);
      for (std::uint16_t v : out) ASSERT_EQ(v, 40000) << ResampleMethodName(m) << " " << w << "x" << h;
    }
}

TEST(Resample, WorkedNearestAreaAndFlux) {
  const std::vector<std::uint16_t> src = {0,  10, 20, 30,  //
                                          40, 50, 60, 70};
  // Nearest doubling repeats every value twice in each direction.
  const std::vector<std::uint16_t> twice = ResampleRaw(src, 4, 2, {8, 4, ResampleMethod::kNearest, false});
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(twice[y * 8 + x], src[(y / 2) * 4 + x / 2]);
  // Area halving: the mean of each 2 x 2 block; with flux kept, the sum.
  EXPECT_EQ(ResampleRaw(src, 4, 2, {2, 1, ResampleMethod::kArea, false}),
            (std::vector<std::uint16_t>{25, 45}));
  EXPECT_EQ(ResampleRaw(src, 4, 2, {2, 1, ResampleMethod::kArea, true}),
            (std::vector<std::uint16_t>{100, 180}));
  // Area by a third of a pixel: fractional overlaps, 4 -> 3 columns.
  const std::vector<std::uint16_t> row = {0, 30, 60, 90};
  EXPECT_EQ(ResampleRaw(row, 4, 1, {3, 1, ResampleMethod::kArea, false}),
            (std::vector<std::uint16_t>{8, 45, 83}));
  // Flux: a frame's sum stays (to rounding) through a Lanczos halving.
  const std::vector<std::uint16_t> ramp = Ramp(64, 48);
  const std::vector<std::uint16_t> half =
      ResampleRaw(ramp, 64, 48, {32, 24, ResampleMethod::kLanczos3, true});
  const double sum_in = std::accumulate(ramp.begin(), ramp.end(), 0.0);
  const double sum_out = std::accumulate(half.begin(), half.end(), 0.0);
  EXPECT_NEAR(sum_out / sum_in, 1.0, 1e-3);
}

TEST(Resample, TextsOfTheCommand) {
  // The refusal of a factor states the range this 100 x 60 picture takes.
  const std::string kFactorRefused =
      "倍率は 0 より大きく 327.68 以下の数を入力してください（新しい大きさは 32768 まで）";
  EXPECT_EQ(ResampleFactorRefusal(100, 60), kFactorRefused);
  struct Case {
    const char* text;
    int w, h;
    ResampleMethod method;
    std::string error;
  };
  const Case cases[] = {
      {"0.5", 50, 30, ResampleMethod::kLanczos3, ""},
      {"2,bicubic", 200, 120, ResampleMethod::kBicubic, ""},
      {"0.333,area", 33, 20, ResampleMethod::kArea, ""},
      {"640x480,nearest", 640, 480, ResampleMethod::kNearest, ""},
      {"0.001", 1, 1, ResampleMethod::kLanczos3, ""},
      {"327.68", 32768, 19661, ResampleMethod::kLanczos3, ""},
      {"327.69", 0, 0, ResampleMethod::kLanczos3, kFactorRefused},
      {"1e9", 0, 0, ResampleMethod::kLanczos3, kFactorRefused},
      {"0", 0, 0, ResampleMethod::kLanczos3, kFactorRefused},
      {"-1", 0, 0, ResampleMethod::kLanczos3, kFactorRefused},
      {"abc", 0, 0, ResampleMethod::kLanczos3, kFactorRefused},
      {"1000", 0, 0, ResampleMethod::kLanczos3, kFactorRefused},
      {"0x10", 0, 0, ResampleMethod::kLanczos3, kResampleSizeRefused},
      {"40000x10", 0, 0, ResampleMethod::kLanczos3, kResampleSizeRefused},
      {"2,cubic", 0, 0, ResampleMethod::kLanczos3, kResampleMethodRefused},
  };
  // The stated bound is taken whatever the sides.
  for (const auto& [w, h] : {std::pair{512, 512}, std::pair{500, 3}, std::pair{30000, 7}, std::pair{1, 1}}) {
    ResampleParams p;
    EXPECT_TRUE(ScaledSide(std::max(w, h), MaxResampleFactor(w, h), p.width)) << w << " x " << h;
  }
  EXPECT_EQ(MaxResampleFactor(512, 512), 64);
  EXPECT_EQ(MaxResampleFactor(500, 3), 65.536);
  for (const Case& c : cases) {
    ResampleParams p;
    const Status s = ParseResampleText(c.text, 100, 60, p);
    if (!c.error.empty()) {
      EXPECT_EQ(s.message(), c.error) << c.text;
      continue;
    }
    ASSERT_TRUE(s.ok()) << c.text << ": " << s.message();
    EXPECT_EQ(p.width, c.w) << c.text;
    EXPECT_EQ(p.height, c.h) << c.text;
    EXPECT_EQ(p.method, c.method) << c.text;
  }
}

TEST(Resample, SixteenBitWindowKeepsItsScalingAndHeaderInANewWindowOrInPlace) {
  ImageDocument doc;
  doc.kind = WindowKind::kRaw16;
  doc.raw = RawPlane(8, 6);
  doc.scaling = {1500.0, 0.5};
  doc.fits_cards = {"OBJECT  = 'M13'"};
  doc.caption = "m13.fits";
  doc.unsaved = false;
  StoreRawValues(doc, Ramp(8, 6));
  ImageDocument out;
  ASSERT_TRUE(ResampleCommand(doc, {16, 12, ResampleMethod::kNearest, false}, out).ok());
  EXPECT_EQ(out.kind, WindowKind::kRaw16);
  EXPECT_EQ(out.caption, kResampleCaption);
  EXPECT_TRUE(out.unsaved);
  EXPECT_EQ(out.scaling.bscale, 0.5);
  EXPECT_EQ(out.fits_cards, doc.fits_cards);
  EXPECT_EQ(out.Image.width(), 16);
  EXPECT_EQ(*out.width, 16);
  EXPECT_EQ(out.history.back(), "resample 16x12 nearest");
  std::vector<std::uint16_t> raw;
  ASSERT_TRUE(ReadRawValues(out, "t", raw).ok());
  EXPECT_EQ(raw[3 * 16 + 5], 100 * 2 + 7 * 1);
  ASSERT_TRUE(ResampleCommand(doc, {4, 3, ResampleMethod::kArea, false}, doc).ok());
  EXPECT_EQ(doc.caption, "m13.fits");
  EXPECT_EQ(doc.raw.width, 4);
  EXPECT_EQ(doc.raw.values.size(), 12u);
  EXPECT_EQ(doc.Image.height(), 3);
  ImageDocument netpbm;
  netpbm.kind = WindowKind::kNetpbm;
  EXPECT_FALSE(ResampleCommand(netpbm, {4, 3, ResampleMethod::kArea, false}, out).ok());
}

// A size the machine cannot hold is refused as the readers refuse a picture
// of that size, before anything of it is allocated.
TEST(Resample, ANewSizeBeyondTheMemoryIsRefusedFirst) {
  struct PretendMemory {
    explicit PretendMemory(std::uint64_t bytes) { SetAvailableMemoryForTesting(bytes); }
    ~PretendMemory() { SetAvailableMemoryForTesting(0); }
  } memory(5u << 20);
  Workspace ws;
  ImageDocument& raw = ws.NewWindow();
  raw.kind = WindowKind::kRaw16;
  raw.raw = RawPlane(8, 6);
  StoreRawValues(raw, Ramp(8, 6));
  // 16 bytes a pixel for a 16-bit window, 12 for a colour one.
  EXPECT_EQ(ResampleToNewWindow(ws, {32768, 32768, ResampleMethod::kNearest, false}).message(),
            "a 32768 x 32768 picture needs 16384 MiB of memory but only 5 MiB are available");
  EXPECT_EQ(ResampleToNewWindow(ws, {600, 600, ResampleMethod::kNearest, false}).message(),
            "a 600 x 600 picture needs 6 MiB of memory but only 5 MiB are available");
  EXPECT_EQ(ws.windows().size(), 1u);
  EXPECT_EQ(raw.raw.width, 8);
  ImageDocument colour;
  colour.kind = WindowKind::kColour;
  colour.ImageZm = colour.Image = Picture(4, 4);
  EXPECT_EQ(ResampleCommand(colour, {700, 700, ResampleMethod::kNearest, false}, colour).message(),
            "a 700 x 700 picture needs 6 MiB of memory but only 5 MiB are available");
  EXPECT_EQ(colour.Image.width(), 4);
  EXPECT_TRUE(ResampleCommand(colour, {600, 600, ResampleMethod::kNearest, false}, colour).ok());
}

// Pillow's resize of the same values in its 32-bit float mode, which uses
// the same kernels, centres and border rule, through /usr/bin/python3. For
// nearest, scipy.ndimage.zoom (order 0, pixel-area grid): Pillow steps its
// nearest coordinates in 16.16 fixed point and so picks the neighbour
// pixel where (i + 0.5) * in / out falls within a few thousandths of an
// integer.
class ResampleAgainstPillow : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists("/usr/bin/python3")) GTEST_SKIP() << "no /usr/bin/python3";
    if (std::system("/usr/bin/python3 -c 'import PIL, numpy, scipy' 2>/dev/null") != 0)
      GTEST_SKIP() << "no Pillow (python3-pil), scipy or numpy";
    m_dir = std::filesystem::temp_directory_path() / ("qirm-resample-" + std::to_string(getpid()));
    std::filesystem::create_directories(m_dir);
    std::ofstream(m_dir / "resize.py") << R"PY(
import sys
import numpy as np
from PIL import Image
src, w, h, dw, dh, method, out = sys.argv[1:]
a = np.fromfile(src, dtype='<f4').reshape(int(h), int(w))
kernels = {'nearest': Image.NEAREST, 'bilinear': Image.BILINEAR, 'bicubic': Image.BICUBIC,
           'lanczos3': Image.LANCZOS, 'area': Image.BOX}
if method == 'nearest':
    from scipy import ndimage
    r = ndimage.zoom(a, (int(dh) / int(h), int(dw) / int(w)), order=0, grid_mode=True, mode='grid-constant')
else:
    r = Image.fromarray(a, mode='F').resize((int(dw), int(dh)), resample=kernels[method])
np.asarray(r, dtype='<f4').tofile(out)
)PY";
  }
  void TearDown() override {
    if (!m_dir.empty()) std::filesystem::remove_all(m_dir);
  }

  // Pillow's result, rounded and limited as ours is.
  std::vector<int> Pillow(const std::vector<float>& plane, int w, int h, int dw, int dh, ResampleMethod m,
                          int max_value) {
    const std::string in = (m_dir / "in.f4").string(), out = (m_dir / "out.f4").string();
    std::ofstream(in, std::ios::binary)
        .write(reinterpret_cast<const char*>(plane.data()), static_cast<std::streamsize>(4 * plane.size()));
    const std::string command = "/usr/bin/python3 '" + (m_dir / "resize.py").string() + "' '" + in + "' " +
                                std::to_string(w) + " " + std::to_string(h) + " " + std::to_string(dw) + " " +
                                std::to_string(dh) + " " + ResampleMethodName(m) + " '" + out + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::vector<float> r(static_cast<std::size_t>(dw) * dh);
    std::ifstream(out, std::ios::binary)
        .read(reinterpret_cast<char*>(r.data()), static_cast<std::streamsize>(4 * r.size()));
    std::vector<int> rounded(r.size());
    for (std::size_t i = 0; i < r.size(); ++i)
      rounded[i] = static_cast<int>(std::clamp(std::floor(r[i] + 0.5f), 0.0f, static_cast<float>(max_value)));
    return rounded;
  }

  // Largest difference inside a margin of `margin` output pixels, and over
  // the whole picture.
  static std::pair<int, int> Differences(const std::vector<int>& want, const std::vector<int>& got, int dw,
                                         int dh, int margin) {
    int inner = 0, all = 0;
    for (int y = 0; y < dh; ++y)
      for (int x = 0; x < dw; ++x) {
        const int d =
            std::abs(want[static_cast<std::size_t>(y) * dw + x] - got[static_cast<std::size_t>(y) * dw + x]);
        all = std::max(all, d);
        if (x >= margin && y >= margin && x < dw - margin && y < dh - margin) inner = std::max(inner, d);
      }
    return {inner, all};
  }

  std::filesystem::path m_dir;
};

TEST_F(ResampleAgainstPillow, RealFramesWithinOneLevelAwayFromTheBorders) {
  const std::string data = QIRM_DATA_DIR;
  const std::string frame = data + "/registration/M13_blue_0001.fits";
  const std::string picture = data + "/derived/DERIVED_m67_dss_1059x1059_8bit_gray.bmp";
  if (!std::filesystem::exists(frame) || !std::filesystem::exists(picture)) GTEST_SKIP() << "no shared data";
  Workspace ws;
  ASSERT_TRUE(OpenImageFile(ws, frame, FileType::Fits).ok());
  ASSERT_TRUE(OpenImageFile(ws, picture, FileType::Bmp).ok());
  const ImageDocument& m13 = *ws.windows()[0];
  const ImageDocument& m67 = *ws.windows()[1];
  std::vector<std::uint16_t> raw;
  ASSERT_TRUE(ReadRawValues(m13, "t", raw).ok());
  const int w = m13.raw.width, h = m13.raw.height;
  const std::vector<float> raw_f(raw.begin(), raw.end());
  const int pw = m67.ImageZm.width(), ph = m67.ImageZm.height();
  std::vector<float> red(static_cast<std::size_t>(pw) * ph);
  for (int y = 0; y < ph; ++y)
    for (int x = 0; x < pw; ++x) red[static_cast<std::size_t>(y) * pw + x] = m67.ImageZm.Row(y)[3 * x + 2];

  for (ResampleMethod m : {ResampleMethod::kNearest, ResampleMethod::kBilinear, ResampleMethod::kBicubic,
                           ResampleMethod::kLanczos3, ResampleMethod::kArea})
    for (double factor : {0.5, 2.0, 0.37, 1.3}) {
      // Pillow's box filter samples the kernel at pixel centres: it is the
      // exact area mean only where each output pixel covers whole pixels
      // (M13 halved; not M67, 1059 pixels wide).
      if (m == ResampleMethod::kArea && factor != 0.5) continue;
      SCOPED_TRACE(ResampleMethodName(m) + " x" + std::to_string(factor));
      ResampleParams p{static_cast<int>(std::lround(w * factor)), static_cast<int>(std::lround(h * factor)),
                       m, false};
      const std::vector<std::uint16_t> ours = ResampleRaw(raw, w, h, p);
      const std::vector<int> want = Pillow(raw_f, w, h, p.width, p.height, m, 65535);
      const auto [inner, all] =
          Differences(want, std::vector<int>(ours.begin(), ours.end()), p.width, p.height, 4);
      EXPECT_LE(inner, 1);
      std::printf("[ M13 16-bit %s x%.2f ] largest difference %d inside, %d with borders\n",
                  ResampleMethodName(m).c_str(), factor, inner, all);

      ResampleParams q{static_cast<int>(std::lround(pw * factor)), static_cast<int>(std::lround(ph * factor)),
                       m, false};
      if (m == ResampleMethod::kArea) continue;
      const Picture pic = ResamplePicture(m67.ImageZm, q);
      std::vector<int> got(static_cast<std::size_t>(q.width) * q.height);
      for (int y = 0; y < q.height; ++y)
        for (int x = 0; x < q.width; ++x)
          got[static_cast<std::size_t>(y) * q.width + x] = pic.Row(y)[3 * x + 2];
      const std::vector<int> want8 = Pillow(red, pw, ph, q.width, q.height, m, 255);
      const auto [inner8, all8] = Differences(want8, got, q.width, q.height, 4);
      EXPECT_LE(inner8, 1);
      std::printf("[ M67 8-bit %s x%.2f ] largest difference %d inside, %d with borders\n",
                  ResampleMethodName(m).c_str(), factor, inner8, all8);
    }
}

}  // namespace
}  // namespace qirm
