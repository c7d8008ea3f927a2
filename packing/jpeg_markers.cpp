#include "packing/jpeg_markers.h"

#include <algorithm>
#include <cstring>

namespace lormex {
namespace {

constexpr std::uint8_t kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr std::uint8_t kIccSignature[] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr std::size_t kIccHeaderSize = 128;

bool StartsWith(std::span<const std::uint8_t> data, std::span<const std::uint8_t> prefix) {
  return data.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), data.begin());
}

}  // namespace

void JpegMarkers::Clear() {
  exif_.clear();
  exif_seen_ = false;
  icc_data_.clear();
  icc_pieces_.fill(Piece{});
  icc_count_ = 0;
  icc_broken_ = false;
}

bool JpegMarkers::AddApp1(std::span<const std::uint8_t> payload) noexcept {
  if (exif_seen_ || !StartsWith(payload, kExifSignature)) return true;
  exif_seen_ = true;
  try {
    exif_.assign(payload.begin() + sizeof kExifSignature, payload.end());
  } catch (...) {
    return false;
  }
  return true;
}

bool JpegMarkers::AddApp2(std::span<const std::uint8_t> payload) noexcept {
  if (icc_broken_ || !StartsWith(payload, kIccSignature)) return true;
  if (payload.size() < sizeof kIccSignature + 2) {
    icc_broken_ = true;
    return true;
  }
  int sequence = payload[sizeof kIccSignature];
  int count = payload[sizeof kIccSignature + 1];
  if (count == 0 || sequence == 0 || sequence > count || (icc_count_ != 0 && count != icc_count_) ||
      icc_pieces_[sequence].present) {
    // Pieces that cannot form one profile: the profile is dropped, and with a repeated piece
    // refused here nothing can grow beyond 255 pieces.
    icc_broken_ = true;
    icc_data_.clear();
    return true;
  }
  icc_count_ = count;
  std::span<const std::uint8_t> data = payload.subspan(sizeof kIccSignature + 2);
  try {
    icc_pieces_[sequence] = {icc_data_.size(), data.size(), true};
    icc_data_.insert(icc_data_.end(), data.begin(), data.end());
  } catch (...) {
    return false;
  }
  return true;
}

bool JpegMarkers::AssembleIccProfile(std::vector<std::uint8_t>* profile) const noexcept {
  profile->clear();
  if (icc_broken_ || icc_count_ == 0) return true;
  std::size_t total = 0;
  for (int i = 1; i <= icc_count_; ++i) {
    if (!icc_pieces_[i].present) return true;
    total += icc_pieces_[i].size;
  }
  try {
    profile->reserve(total);
  } catch (...) {
    return false;
  }
  for (int i = 1; i <= icc_count_; ++i) {
    const Piece& piece = icc_pieces_[i];
    const std::uint8_t* begin = icc_data_.data() + piece.offset;
    profile->insert(profile->end(), begin, begin + piece.size);
  }
  return true;
}

bool IsRgbIccProfile(std::span<const std::uint8_t> profile) {
  return profile.size() >= kIccHeaderSize && std::memcmp(profile.data() + 16, "RGB ", 4) == 0;
}

}  // namespace lormex
