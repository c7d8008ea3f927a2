// Any bytes through the picture path must end either as a JPEG of exactly the promised size that
// the same path reads again, or as a failure with a reason and nothing written; never a crash, a
// sanitizer report or an unbounded allocation.
#include <algorithm>
#include <string>
#include <vector>

#include "packing/picture_reencoder.h"
#include "tests/fuzz/fuzz_targets.h"

namespace lormex::fuzz {
namespace {

// Pictures that claim more pixels than this are left to the hostile-picture table: decoding one
// takes seconds by nature, many times more under the fuzzer's instrumentation, and a slow but
// legitimate input would read as a hang.
constexpr std::uint64_t kMaxClaimedPixels = std::uint64_t{1} << 24;

std::uint32_t Big16(std::span<const std::uint8_t> b, std::size_t at) {
  return std::uint32_t{b[at]} << 8 | b[at + 1];
}

std::int64_t Little32(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::int32_t>(std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 |
                                   std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24);
}

// True when anything in `picture` that could be a JPEG frame header or the BMP header claims more
// than kMaxClaimedPixels. Errs on the side of claiming too much.
bool ClaimsTooMuch(std::span<const std::uint8_t> picture) {
  for (std::size_t i = 0; i + 9 <= picture.size(); ++i) {
    const std::uint8_t code = picture[i + 1];
    if (picture[i] == 0xFF && code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 &&
        code != 0xCC) {
      const std::uint64_t height = Big16(picture, i + 5);
      const std::uint64_t width = Big16(picture, i + 7);
      if (width * height > kMaxClaimedPixels) return true;
    }
  }
  if (picture.size() >= 26 && picture[0] == 'B' && picture[1] == 'M') {
    const std::int64_t width = Little32(picture, 18);
    const std::int64_t height = Little32(picture, 22);
    const auto magnitude = [](std::int64_t v) {
      return static_cast<std::uint64_t>(v < 0 ? -v : v);
    };
    if (magnitude(width) * magnitude(height) > kMaxClaimedPixels) return true;
  }
  return false;
}

std::string SizeText(const PictureSize& size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

bool IsJpegFrame(const std::vector<std::uint8_t>& jpeg) {
  return jpeg.size() >= 4 && jpeg[0] == 0xFF && jpeg[1] == 0xD8 && jpeg[jpeg.size() - 2] == 0xFF &&
         jpeg.back() == 0xD9;
}

void CheckOneSize(PictureReencoder& reencoder, std::span<const std::uint8_t> picture,
                  const ReencodeSettings& settings, std::vector<std::uint8_t>* jpeg) {
  const ReencodeOutcome outcome = reencoder.ReencodeBytes(picture, settings, jpeg);
  const std::string limit = " at a limit of " + std::to_string(settings.max_side);
  if (!outcome.ok) {
    Check(!outcome.error.empty(), "a failure without a reason" + limit);
    Check(jpeg->empty(), "a failure left bytes in the output" + limit);
    Check(outcome.result == PictureSize{}, "a failure with a result size" + limit);
    return;
  }
  Check(outcome.error.empty(), "success with a reason: " + outcome.error);
  Check(IsJpegFrame(*jpeg), "the output is not framed as a JPEG" + limit);
  const PictureSize promised =
      ScaledPictureSize(outcome.source.width, outcome.source.height, settings.max_side);
  Check(outcome.result == promised, "result " + SizeText(outcome.result) + " for source " +
                                        SizeText(outcome.source) + limit + ", expected " +
                                        SizeText(promised));
  Check(promised.width > 0 && promised.height > 0, "success with an empty picture" + limit);

  // Our own output must read back at its own size (no Exif: it is upright already).
  PictureReencoder again;
  std::vector<std::uint8_t> copy;
  const ReencodeOutcome reread =
      again.ReencodeBytes(*jpeg, {std::max(promised.width, promised.height), 90}, &copy);
  Check(reread.ok, "the output does not read back: " + reread.error + limit);
  Check(reread.source == promised,
        "the output reads back as " + SizeText(reread.source) + ", not " + SizeText(promised));
}

void FuzzPictureBytes(std::uint8_t control, std::span<const std::uint8_t> picture) {
  // Small limits keep every run fast; the two of them shrink and enlarge with the same reused
  // buffers, as one picture thread does with the pictures of an album.
  const int first = 1 + control % 48;
  const int second = 1 + (control / 48) * 23;
  const int quality = 1 + control % 100;
  if (ClaimsTooMuch(picture)) return;
  PictureReencoder reencoder;
  std::vector<std::uint8_t> jpeg = {1, 2, 3};
  CheckOneSize(reencoder, picture, {first, quality}, &jpeg);
  CheckOneSize(reencoder, picture, {second, quality}, &jpeg);
}

}  // namespace

void FuzzPicture(std::span<const std::uint8_t> input) {
  if (input.empty()) return;
  FuzzPictureBytes(input[0], input.subspan(1));
}

void FuzzBmp(std::span<const std::uint8_t> input) {
  if (input.empty()) return;
  std::vector<std::uint8_t> bmp = {'B', 'M'};
  bmp.insert(bmp.end(), input.begin() + 1, input.end());
  FuzzPictureBytes(input[0], bmp);
}

}  // namespace lormex::fuzz
