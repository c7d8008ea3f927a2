#include "packing/byte_source.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace lormex {

ByteSource::ByteSource(std::span<const std::uint8_t> data)
    : next_(data.data()), available_(data.size()) {}

ByteSource::ByteSource(int fd, std::uint64_t file_size, std::vector<std::uint8_t>* buffer)
    : unread_(file_size), fd_(fd), buffer_(buffer) {}

void ByteSource::Consume(std::size_t count) {
  count = std::min(count, available_);
  next_ += count;
  available_ -= count;
}

bool ByteSource::Refill() noexcept {
  next_ = nullptr;
  available_ = 0;
  if (fd_ < 0 || read_error_ != 0) return false;
  for (;;) {
    ssize_t got = read(fd_, buffer_->data(), buffer_->size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      read_error_ = errno;
      return false;
    }
    if (got == 0) {
      unread_ = 0;
      return false;
    }
    next_ = buffer_->data();
    available_ = static_cast<std::size_t>(got);
    // A file that grew since it was opened is read to its real end.
    unread_ -= std::min<std::uint64_t>(unread_, available_);
    return true;
  }
}

bool ByteSource::ReadExact(std::uint8_t* out, std::size_t count) noexcept {
  while (count > 0) {
    if (available_ == 0 && !Refill()) return false;
    std::size_t take = std::min(count, available_);
    std::copy_n(next_, take, out);
    out += take;
    count -= take;
    Consume(take);
  }
  return true;
}

bool ByteSource::Skip(std::uint64_t count) noexcept {
  while (count > 0) {
    if (available_ == 0 && !Refill()) return false;
    std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, available_));
    count -= take;
    Consume(take);
  }
  return true;
}

}  // namespace lormex
