// Splitting the pixel work of a large frame between the machine's cores.
#pragma once

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace qirm::fits {

// Two threads pay off from about a megapixel on; below, one.
inline int DefaultThreads(long long pixels) {
  if (pixels < (1LL << 20)) return 1;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores >= 2 ? 2 : 1;
}

// Where part k of `parts` even shares of n items starts, at a multiple of
// `step`; part `parts` starts at n.
inline long long PartStart(long long n, int k, int parts, long long step = 1) {
  if (k >= parts) return n;
  return std::min(n, n / step * k / parts * step);
}

// Runs work(0) .. work(parts - 1), part 0 on the calling thread. A thread
// that cannot be started runs its part on the calling thread instead.
template <class Work>
void RunInParts(int parts, const Work& work) {
  std::vector<std::thread> extra;
  for (int part = 1; part < parts; ++part) {
    try {
      extra.emplace_back([&work, part] { work(part); });
    } catch (const std::system_error&) {
      work(part);
    }
  }
  work(0);
  for (std::thread& t : extra) t.join();
}

}  // namespace qirm::fits
