// Times the re-encoding of one picture: a plain full-size libjpeg decode for comparison, the
// resampling alone, the whole re-encoding from memory and from the file, and the peak memory.
//
//   lormex_reencode_timing <picture> [runs=5] [max_side=2000] [quality=70]

// jpeglib.h needs FILE and size_t declared first.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "packing/area_resampler.h"
#include "packing/picture_reencoder.h"

namespace {

using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long PeakRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

struct Times {
  std::vector<double> ms;
  void Add(double value) { ms.push_back(value); }
  std::string Text() {
    std::sort(ms.begin(), ms.end());
    return "min " + std::to_string(ms.front()) + " ms, median " +
           std::to_string(ms[ms.size() / 2]) + " ms";
  }
};

// Full-size decode to RGB with libjpeg's defaults, rows thrown away: the floor of any re-encoder
// that keeps the full-size decode. Errors end the program (libjpeg's default handler).
void DecodeOnly(const std::vector<std::uint8_t>& bytes, int* width, int* height) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr error;
  cinfo.err = jpeg_std_error(&error);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  std::vector<std::uint8_t> row(std::size_t(cinfo.output_width) * 3);
  JSAMPROW rows[1] = {row.data()};
  while (cinfo.output_scanline < cinfo.output_height) jpeg_read_scanlines(&cinfo, rows, 1);
  *width = static_cast<int>(cinfo.output_width);
  *height = static_cast<int>(cinfo.output_height);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: " << argv[0] << " <picture> [runs=5] [max_side=2000] [quality=70]\n";
    return 2;
  }
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  lormex::ReencodeSettings settings;
  if (argc > 3) settings.max_side = std::atoi(argv[3]);
  if (argc > 4) settings.quality = std::atoi(argv[4]);

  // From the file first, so the peak memory is that of a worker, before the whole file is read
  // into memory for the other measurements.
  lormex::PictureReencoder reencoder;
  std::vector<std::uint8_t> jpeg;
  Times from_file;
  lormex::ReencodeOutcome outcome;
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    outcome = reencoder.ReencodeFile(path, settings, &jpeg);
    from_file.Add(MillisecondsSince(start));
  }
  const long worker_peak = PeakRssKiB();
  if (!outcome.ok) {
    std::cerr << "re-encoding failed: " << outcome.error << "\n";
    return 1;
  }

  std::ifstream in(path, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                        std::istreambuf_iterator<char>());
  Times decode, resample, from_memory;
  int width = 0, height = 0;
  for (int i = 0; i < runs; ++i) {
    auto start = Clock::now();
    DecodeOnly(bytes, &width, &height);
    decode.Add(MillisecondsSince(start));

    start = Clock::now();
    reencoder.ReencodeBytes(bytes, settings, &jpeg);
    from_memory.Add(MillisecondsSince(start));
  }

  // The resampler alone on the stored size, fed with a varied row.
  std::vector<std::uint8_t> row(std::size_t(width) * 3);
  for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<std::uint8_t>(i * 7);
  lormex::AreaResampler resampler;
  const lormex::PictureSize target = lormex::ScaledPictureSize(width, height, settings.max_side);
  for (int i = 0; i < runs; ++i) {
    const auto start = Clock::now();
    resampler.Begin(width, height, target.width, target.height);
    for (int y = 0; y < height; ++y) resampler.PushRow(row.data());
    resample.Add(MillisecondsSince(start));
  }

  std::cout << path << ": " << width << " x " << height << " -> " << outcome.result.width << " x "
            << outcome.result.height << ", " << jpeg.size() << " bytes, " << runs << " runs\n"
            << "  libjpeg decode only:     " << decode.Text() << "\n"
            << "  resample only:           " << resample.Text() << " (" << width << " x " << height
            << " -> " << target.width << " x " << target.height << ")\n"
            << "  re-encode from memory:   " << from_memory.Text() << "\n"
            << "  re-encode from the file: " << from_file.Text() << "\n"
            << "  peak RSS while re-encoding from the file: " << worker_peak / 1024.0
            << " MiB; at the end: " << PeakRssKiB() / 1024.0 << " MiB\n";
  return 0;
}
