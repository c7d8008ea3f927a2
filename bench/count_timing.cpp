// Times the album file count (the walk the album list runs for every added album) over a folder.
// The first count warms the cache and is reported apart; the rest are warm.
//
//   lormex_count_timing <folder> [runs=7]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "packing/album_walk.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s <folder> [runs=7]\n", argv[0]);
    return 2;
  }
  const std::string folder = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

  auto start = Clock::now();
  const int first_count = lormex::CountFiles(folder);
  const double first_ms = MillisecondsSince(start);

  std::vector<double> warm_ms;
  for (int i = 0; i < runs; ++i) {
    start = Clock::now();
    const int count = lormex::CountFiles(folder);
    warm_ms.push_back(MillisecondsSince(start));
    if (count != first_count) {
      std::fprintf(stderr, "the count changed between runs: %d, then %d\n", first_count, count);
      return 1;
    }
  }
  std::sort(warm_ms.begin(), warm_ms.end());
  // One line a script can read: files, first, warm minimum, warm median, warm maximum (ms).
  std::printf("files %d first_ms %.1f warm_min_ms %.1f warm_median_ms %.1f warm_max_ms %.1f\n",
              first_count, first_ms, warm_ms.front(), warm_ms[warm_ms.size() / 2], warm_ms.back());
  return first_count > 0 ? 0 : 1;
}
