#ifndef LORMEX_PACKING_JPEG_MARKERS_H_
#define LORMEX_PACKING_JPEG_MARKERS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lormex {

// The two kinds of JPEG application markers that shape the output: the first Exif block (for
// its orientation) and the pieces of an embedded ICC profile. Everything else is dropped. Memory
// stays bounded whatever the file holds: one Exif block, and the ICC pieces only as long as they
// can still form one profile (at most 255 pieces, each numbered once).
// Not thread-safe; kept between pictures so its buffers are reused.
class JpegMarkers {
 public:
  // Forgets the markers of the previous picture.
  void Clear();

  // Takes the payload of an APP1 marker (after its length field); keeps it when it is the first
  // Exif block. False only when memory runs out.
  bool AddApp1(std::span<const std::uint8_t> payload) noexcept;
  // Takes the payload of an APP2 marker; keeps it when it is a piece of an ICC profile. False
  // only when memory runs out.
  bool AddApp2(std::span<const std::uint8_t> payload) noexcept;

  // The TIFF data of the Exif block, empty when there is none.
  std::span<const std::uint8_t> exif() const { return exif_; }

  // The ICC profile put together from its pieces; empty when there is none or its pieces do not
  // form one profile (missing, repeated or inconsistently counted). False only when memory runs
  // out.
  bool AssembleIccProfile(std::vector<std::uint8_t>* profile) const noexcept;

 private:
  struct Piece {
    std::size_t offset = 0;
    std::size_t size = 0;
    bool present = false;
  };

  std::vector<std::uint8_t> exif_;
  bool exif_seen_ = false;
  std::vector<std::uint8_t> icc_data_;
  std::array<Piece, 256> icc_pieces_{};
  int icc_count_ = 0;  // number of pieces the profile declares
  bool icc_broken_ = false;
};

// True when `profile` is an ICC profile of the RGB colour space (header bytes 16 to 19 "RGB ").
bool IsRgbIccProfile(std::span<const std::uint8_t> profile);

}  // namespace lormex

#endif  // LORMEX_PACKING_JPEG_MARKERS_H_
