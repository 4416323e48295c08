// SPDX-License-Identifier: GPL-3.0-or-later
// Camera files through qirm-cli: a raw file opens as its mosaic with the
// camera's cards, TIFF and PNG by extension or --type, and debayer turns a
// mosaic into a colour window of its values.
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/cli_run.h"
#include "tests/support/test_files.h"
#include "tests/support/tiff_bytes.h"

namespace qirm::test {
namespace {

class CameraFilesCli : public CliFixture {};

std::string StateValue(const std::string& out, const std::string& key) {
  const std::size_t at = out.find("\n" + key + "=");
  if (at == std::string::npos) return "?";
  const std::size_t start = at + key.size() + 2;
  return out.substr(start, out.find('\n', start) - start);
}

// A flat colour field seen through an RGGB mosaic: red 1000, green 2000,
// blue 3000.
std::vector<std::uint16_t> FlatMosaic(int w, int h) {
  std::vector<std::uint16_t> samples;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      samples.push_back(y % 2 == 0 ? (x % 2 == 0 ? 1000 : 2000) : (x % 2 == 0 ? 2000 : 3000));
  return samples;
}

TEST_F(CameraFilesCli, RawFileOpensAsItsMosaicAndDebayersToItsColour) {
  DngSpec spec;
  spec.samples = FlatMosaic(spec.width, spec.height);
  spec.iso = 800;
  const std::vector<std::uint8_t> dng = DngBytes(spec);
  Write("shot.dng", std::string(dng.begin(), dng.end()));
  CliResult r = Run({"run", "shot.dng", "--state"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(StateValue(r.out, "FilterI"), "2");
  r = Run({"run", "shot.dng", "-o", "mosaic.fits"});
  ASSERT_EQ(r.code, 0) << r.err;
  r = Run({"header", "mosaic.fits"});
  EXPECT_NE(r.out.find("BAYERPAT= 'RGGB"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("ISOSPEED"), std::string::npos) << r.out;
  // The same file by --type, whatever its name.
  Write("shot.bin", std::string(dng.begin(), dng.end()));
  EXPECT_EQ(Run({"run", "shot.bin", "--type", "raw", "--state"}).code, 0);

  // Debayered from the file's pattern, or from the one given: the flat
  // field comes back exactly, and the pattern cards go.
  for (const char* command : {"debayer", "debayer=bilinear", "debayer=RGGB,rcd"}) {
    SCOPED_TRACE(command);
    r = Run({"run", "mosaic.fits", command, "--state", "-o", "colour.fits"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(StateValue(r.out, "FilterI"), "5");
    r = Run({"measure", "colour.fits", "7", "5"});
    EXPECT_EQ(r.out.rfind("R=1000  G=2000  B=3000   (7,5)\n", 0), 0u) << r.out;
    EXPECT_EQ(Run({"header", "colour.fits"}).out.find("BAYERPAT"), std::string::npos);
  }
  // A window with no pattern must be told one; a colour window is no mosaic.
  Write("plain.fits", Fits16Bytes(4, 4, std::vector<int>(16, 500)));
  r = Run({"run", "plain.fits", "debayer"});
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("パターン"), std::string::npos) << r.err;
  EXPECT_EQ(Run({"run", "plain.fits", "debayer=GBRG", "--state"}).code, 0);
  r = Run({"run", "colour.fits", "debayer"});
  EXPECT_EQ(r.code, 1);
  r = Run({"run", "plain.fits", "debayer=XYZW"});
  EXPECT_EQ(r.code, 1);
}

}  // namespace
}  // namespace qirm::test
