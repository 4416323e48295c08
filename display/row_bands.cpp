#include "display/row_bands.h"

#include <system_error>
#include <thread>

namespace qirm {

void PrepareOutput(Picture& out, int width, int height) {
  if (out.width() != width || out.height() != height) out = Picture(width, height);
}

void ForRowBands(int height, long long pixels, const std::function<void(int, int)>& work) {
  if (height <= 0) return;
  if (pixels < kThreadedPixels || height < 2 || std::thread::hardware_concurrency() < 2) {
    work(0, height);
    return;
  }
  const int middle = height / 2;
  std::thread helper;
  try {
    helper = std::thread(work, middle, height);
  } catch (const std::system_error&) {
    work(0, height);
    return;
  }
  work(0, middle);
  helper.join();
}

}  // namespace qirm
