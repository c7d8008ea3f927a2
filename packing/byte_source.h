#ifndef LORMEX_PACKING_BYTE_SOURCE_H_
#define LORMEX_PACKING_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace lormex {

// The bytes of one picture, front to back: either a block already in memory or an open file read
// through one reused buffer, so a file is never held whole. Decoders take the current window,
// consume it and ask for the next one. Not thread-safe; one source per picture.
class ByteSource {
 public:
  // Reads from `data`, which must outlive the source.
  explicit ByteSource(std::span<const std::uint8_t> data);
  // Reads from the open file `fd` (not owned) of `file_size` bytes as the file system reported
  // it, through `buffer`, which must not be empty.
  ByteSource(int fd, std::uint64_t file_size, std::vector<std::uint8_t>* buffer);
  ByteSource(const ByteSource&) = delete;
  ByteSource& operator=(const ByteSource&) = delete;

  // The bytes available now, not yet consumed.
  const std::uint8_t* data() const { return next_; }
  std::size_t size() const { return available_; }
  void Consume(std::size_t count);

  // Drops what is left of the window and makes the next bytes available. False at the end of the
  // data or when reading fails (then read_error() holds errno).
  bool Refill() noexcept;
  int read_error() const { return read_error_; }

  // Bytes not yet consumed as far as known: the file size from when the file was opened, minus
  // what has been consumed. A file that shrinks meanwhile simply ends early.
  std::uint64_t remaining() const { return available_ + unread_; }

  // Copies the next `count` bytes to `out`; false when the data ends first.
  bool ReadExact(std::uint8_t* out, std::size_t count) noexcept;
  // Passes over the next `count` bytes; false when the data ends first.
  bool Skip(std::uint64_t count) noexcept;

 private:
  const std::uint8_t* next_ = nullptr;
  std::size_t available_ = 0;
  std::uint64_t unread_ = 0;  // bytes of the file not yet read into the buffer
  int fd_ = -1;
  std::vector<std::uint8_t>* buffer_ = nullptr;
  int read_error_ = 0;
};

}  // namespace lormex

#endif  // LORMEX_PACKING_BYTE_SOURCE_H_
