#include "packing/archive_verify.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <vector>

#include "packing/errno_text.h"

namespace lormex {
namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndSignature = 0x06054b50;
constexpr std::uint32_t kZip64EndSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kEndSize = 22;
constexpr std::size_t kZip64LocatorSize = 20;
constexpr std::size_t kZip64EndSize = 56;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kFlagEncrypted = 1u << 0;
constexpr std::uint16_t kFlagUtf8 = 1u << 11;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflated = 8;
constexpr std::size_t kChunk = 1 << 20;

std::uint16_t Le16(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Le32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::uint64_t Le64(const unsigned char* p) {
  return static_cast<std::uint64_t>(Le32(p)) | (static_cast<std::uint64_t>(Le32(p + 4)) << 32);
}

bool HasNonAscii(const std::string& name) {
  return std::any_of(name.begin(), name.end(),
                     [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

class Verifier {
 public:
  Verifier(int fd, std::span<const WrittenEntry> expected, std::string* error)
      : fd_(fd), expected_(expected), error_(error) {}

  bool Run() {
    struct stat status;
    if (fstat(fd_, &status) != 0) return Fail(ErrnoText("无法读取压缩包", errno));
    file_size_ = static_cast<std::uint64_t>(status.st_size);
    return ReadDirectoryEnd() && CheckEntries();
  }

 private:
  bool Fail(const std::string& reason) {
    if (error_ != nullptr) *error_ = "压缩包校验失败：" + reason;
    return false;
  }

  bool FailEntry(std::size_t index, const std::string& what) {
    return Fail("第 " + std::to_string(index + 1) + " 个条目（" + expected_[index].name + "）" +
                what);
  }

  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t length) {
    auto* out = static_cast<unsigned char*>(buffer);
    if (offset > file_size_ || length > file_size_ - offset) return Fail("数据超出文件末尾");
    while (length > 0) {
      const ssize_t n = pread(fd_, out, length, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        return Fail(ErrnoText("读取压缩包出错", errno));
      }
      if (n == 0) return Fail("文件在读取时变短");
      out += n;
      offset += static_cast<std::uint64_t>(n);
      length -= static_cast<std::size_t>(n);
    }
    return true;
  }

  // Finds the end record, which must close the file, and from it (or its Zip64 form) the place,
  // size and entry count of the central directory.
  bool ReadDirectoryEnd() {
    if (file_size_ < kEndSize) return Fail("文件太短，不是压缩包");
    const std::size_t tail_size =
        static_cast<std::size_t>(std::min<std::uint64_t>(file_size_, kEndSize + 0xFFFF));
    std::vector<unsigned char> tail(tail_size);
    const std::uint64_t tail_offset = file_size_ - tail_size;
    if (!ReadAt(tail_offset, tail.data(), tail_size)) return false;
    std::size_t at = tail_size - kEndSize + 1;
    bool found = false;
    while (at-- > 0) {
      const unsigned char* p = tail.data() + at;
      if (Le32(p) == kEndSignature && at + kEndSize + Le16(p + 20) == tail_size) {
        found = true;
        break;
      }
    }
    if (!found) return Fail("找不到压缩包目录的结尾");
    const unsigned char* end = tail.data() + at;
    const std::uint64_t end_offset = tail_offset + at;
    if (Le16(end + 4) != 0 || Le16(end + 6) != 0) return Fail("分卷压缩包不受支持");
    entry_count_ = Le16(end + 10);
    directory_size_ = Le32(end + 12);
    directory_offset_ = Le32(end + 16);
    std::uint64_t directory_end = end_offset;

    // The 20 bytes before the end record may hold the Zip64 locator; they may also happen to be
    // the tail of the last directory record, so a locator counts only when its record is sound.
    const bool saturated =
        Le16(end + 10) == 0xFFFF || Le32(end + 12) == 0xFFFFFFFF || Le32(end + 16) == 0xFFFFFFFF;
    bool zip64 = false;
    if (end_offset >= kZip64LocatorSize + kZip64EndSize) {
      unsigned char locator[kZip64LocatorSize];
      if (!ReadAt(end_offset - kZip64LocatorSize, locator, sizeof locator)) return false;
      const std::uint64_t record_offset = Le64(locator + 8);
      unsigned char record[kZip64EndSize];
      if (Le32(locator) == kZip64LocatorSignature &&
          record_offset <= end_offset - kZip64LocatorSize - kZip64EndSize &&
          ReadAt(record_offset, record, sizeof record) && Le32(record) == kZip64EndSignature) {
        zip64 = true;
        entry_count_ = Le64(record + 32);
        directory_size_ = Le64(record + 40);
        directory_offset_ = Le64(record + 48);
        directory_end = record_offset;
      }
    }
    if (saturated && !zip64) return Fail("缺少 Zip64 目录结尾");
    if (directory_offset_ > directory_end || directory_end - directory_offset_ != directory_size_) {
      return Fail("压缩包目录的位置不对");
    }
    return true;
  }

  bool CheckEntries() {
    if (entry_count_ != expected_.size()) {
      return Fail("条目数量不符：目录中有 " + std::to_string(entry_count_) + " 个，应为 " +
                  std::to_string(expected_.size()) + " 个");
    }
    std::vector<unsigned char> directory(static_cast<std::size_t>(directory_size_));
    if (!ReadAt(directory_offset_, directory.data(), directory.size())) return false;
    input_.resize(kChunk);
    output_.resize(kChunk);

    std::size_t at = 0;
    std::uint64_t previous_end = 0;
    for (std::size_t i = 0; i < expected_.size(); ++i) {
      if (directory.size() - at < kCentralHeaderSize) return FailEntry(i, "的目录记录不完整");
      const unsigned char* p = directory.data() + at;
      if (Le32(p) != kCentralHeaderSignature) return FailEntry(i, "的目录记录已损坏");
      const std::uint16_t flags = Le16(p + 8);
      const std::uint16_t method = Le16(p + 10);
      const std::uint32_t crc = Le32(p + 16);
      std::uint64_t compressed_size = Le32(p + 20);
      std::uint64_t size = Le32(p + 24);
      const std::size_t name_length = Le16(p + 28);
      const std::size_t extra_length = Le16(p + 30);
      const std::size_t comment_length = Le16(p + 32);
      std::uint64_t local_offset = Le32(p + 42);
      const std::size_t record_size =
          kCentralHeaderSize + name_length + extra_length + comment_length;
      if (directory.size() - at < record_size) return FailEntry(i, "的目录记录不完整");
      const std::string name(reinterpret_cast<const char*>(p + kCentralHeaderSize), name_length);
      if (!ReadZip64Extra(p + kCentralHeaderSize + name_length, extra_length, &size,
                          &compressed_size, &local_offset)) {
        return FailEntry(i, "的 Zip64 信息已损坏");
      }
      const WrittenEntry& want = expected_[i];
      if (name != want.name) return FailEntry(i, "的名称不符");
      if (((flags & kFlagUtf8) != 0) != HasNonAscii(name)) return FailEntry(i, "的 UTF-8 标志不对");
      if ((flags & kFlagEncrypted) != 0) return FailEntry(i, "被加密了");
      if (method != kMethodDeflated && method != kMethodStored) {
        return FailEntry(i, "的压缩方法不受支持");
      }
      if (size != want.size) return FailEntry(i, "的大小不符");
      if (crc != want.crc32) return FailEntry(i, "的校验和不符");
      if (local_offset < previous_end) return FailEntry(i, "与前一个条目重叠");

      unsigned char local[kLocalHeaderSize];
      if (!ReadAt(local_offset, local, sizeof local)) return false;
      if (Le32(local) != kLocalHeaderSignature) return FailEntry(i, "的文件头已损坏");
      const std::uint16_t local_flags = Le16(local + 6);
      const std::size_t local_name_length = Le16(local + 26);
      const std::size_t local_extra_length = Le16(local + 28);
      std::string local_name(local_name_length, '\0');
      if (!ReadAt(local_offset + kLocalHeaderSize, local_name.data(), local_name_length)) {
        return false;
      }
      if (local_name != name) return FailEntry(i, "的文件头与目录名称不一致");
      if ((local_flags & kFlagUtf8) != (flags & kFlagUtf8) || Le16(local + 8) != method) {
        return FailEntry(i, "的文件头与目录不一致");
      }
      const std::uint64_t data_offset =
          local_offset + kLocalHeaderSize + local_name_length + local_extra_length;
      if (data_offset > directory_offset_ || directory_offset_ - data_offset < compressed_size) {
        return FailEntry(i, "的数据超出了范围");
      }
      std::uint64_t data_size = 0;
      std::uint32_t data_crc = 0;
      if (!ReadData(i, method, data_offset, compressed_size, &data_size, &data_crc)) return false;
      if (data_size != size) return FailEntry(i, "解压后的大小不符");
      if (data_crc != crc) return FailEntry(i, "解压后的校验和不符");
      previous_end = data_offset + compressed_size;
      at += record_size;
    }
    if (at != directory.size()) return Fail("压缩包目录中有多余的数据");
    return true;
  }

  // Takes the 64-bit values of the Zip64 extra field for those of the three that are saturated
  // in the fixed header, in the order the format lists them.
  static bool ReadZip64Extra(const unsigned char* extra, std::size_t length, std::uint64_t* size,
                             std::uint64_t* compressed_size, std::uint64_t* local_offset) {
    std::size_t at = 0;
    while (length - at >= 4) {
      const std::uint16_t id = Le16(extra + at);
      const std::size_t field_length = Le16(extra + at + 2);
      if (length - at - 4 < field_length) return false;
      if (id == 0x0001) {
        const unsigned char* p = extra + at + 4;
        std::size_t left = field_length;
        for (std::uint64_t* value : {size, compressed_size, local_offset}) {
          if (*value != 0xFFFFFFFF) continue;
          if (left < 8) return false;
          *value = Le64(p);
          p += 8;
          left -= 8;
        }
        return true;
      }
      at += 4 + field_length;
    }
    return *size != 0xFFFFFFFF && *compressed_size != 0xFFFFFFFF && *local_offset != 0xFFFFFFFF;
  }

  bool ReadData(std::size_t index, std::uint16_t method, std::uint64_t offset,
                std::uint64_t compressed_size, std::uint64_t* size, std::uint32_t* crc) {
    *crc = static_cast<std::uint32_t>(crc32_z(0, nullptr, 0));
    *size = 0;
    if (method == kMethodStored) {
      while (compressed_size > 0) {
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(compressed_size, kChunk));
        if (!ReadAt(offset, input_.data(), piece)) return false;
        *crc = static_cast<std::uint32_t>(crc32_z(*crc, input_.data(), piece));
        *size += piece;
        offset += piece;
        compressed_size -= piece;
      }
      return true;
    }
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return FailEntry(index, "无法解压");
    bool ok = true;
    int result = Z_OK;
    while (ok && result != Z_STREAM_END) {
      if (stream.avail_in == 0) {
        if (compressed_size == 0) {
          ok = FailEntry(index, "的压缩数据不完整");
          break;
        }
        const std::size_t piece =
            static_cast<std::size_t>(std::min<std::uint64_t>(compressed_size, kChunk));
        if (!ReadAt(offset, input_.data(), piece)) {
          ok = false;
          break;
        }
        offset += piece;
        compressed_size -= piece;
        stream.next_in = input_.data();
        stream.avail_in = static_cast<uInt>(piece);
      }
      stream.next_out = output_.data();
      stream.avail_out = static_cast<uInt>(output_.size());
      result = inflate(&stream, Z_NO_FLUSH);
      if (result != Z_OK && result != Z_STREAM_END) {
        ok = FailEntry(index, "的压缩数据已损坏");
        break;
      }
      const std::size_t produced = output_.size() - stream.avail_out;
      *crc = static_cast<std::uint32_t>(crc32_z(*crc, output_.data(), produced));
      *size += produced;
    }
    if (ok && (stream.avail_in != 0 || compressed_size != 0)) {
      ok = FailEntry(index, "的压缩数据长度不符");
    }
    inflateEnd(&stream);
    return ok;
  }

  int fd_;
  std::span<const WrittenEntry> expected_;
  std::string* error_;
  std::uint64_t file_size_ = 0;
  std::uint64_t entry_count_ = 0;
  std::uint64_t directory_size_ = 0;
  std::uint64_t directory_offset_ = 0;
  std::vector<unsigned char> input_;
  std::vector<unsigned char> output_;
};

}  // namespace

bool VerifyArchive(int fd, std::span<const WrittenEntry> expected, std::string* error) {
  return Verifier(fd, expected, error).Run();
}

bool VerifyArchive(const std::string& path, std::span<const WrittenEntry> expected,
                   std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (error != nullptr) *error = "压缩包校验失败：" + ErrnoText("无法打开压缩包", errno);
    return false;
  }
  const bool ok = VerifyArchive(fd, expected, error);
  close(fd);
  return ok;
}

}  // namespace lormex
