#include "packing/archive_writer.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <utility>

#include "packing/errno_text.h"
#include "packing/source_file.h"

namespace lormex {
namespace {

// Pieces in which source files are streamed: large enough for few system calls, small enough
// never to hold a big file whole.
constexpr std::size_t kCopyPiece = 2 * 1024 * 1024;
// Size of the writes to the archive file.
constexpr int kWriteBlock = 1024 * 1024;
constexpr int kTemporaryNameAttempts = 100;
// Longest part of the archive's name kept in its temporary name, so that ".<name>.XXXXXX.part"
// stays within the 255 bytes a file name may have.
constexpr std::size_t kTemporaryStemBytes = 200;
constexpr const char* kEnding = "程序正在退出，压缩包未保存";

struct EntryFree {
  void operator()(archive_entry* entry) const { archive_entry_free(entry); }
};
using EntryPointer = std::unique_ptr<archive_entry, EntryFree>;

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// ".<name>.XXXXXX.part" with random letters, the name cut at a character boundary if needed.
std::string TemporaryName(const std::string& name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  std::size_t stem = std::min(name.size(), kTemporaryStemBytes);
  while (stem > 0 && stem < name.size() &&
         (static_cast<unsigned char>(name[stem]) & 0xC0) == 0x80) {
    --stem;
  }
  unsigned char random[6];
  if (getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    // Without the random source a clock value still makes a clash unlikely; O_EXCL settles it.
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::uint64_t mix = static_cast<std::uint64_t>(now.tv_nsec) ^
                        (static_cast<std::uint64_t>(getpid()) << 20) ^
                        static_cast<std::uint64_t>(now.tv_sec);
    for (unsigned char& byte : random) {
      byte = static_cast<unsigned char>(mix);
      mix = mix * 6364136223846793005u + 1442695040888963407u;
    }
  }
  std::string result = "." + name.substr(0, stem) + ".";
  for (unsigned char byte : random) result.push_back(kLetters[byte % (sizeof kLetters - 1)]);
  return result + ".part";
}

// Errors with which a file system tells that it cannot make unnamed files.
bool LacksUnnamedFiles(int error_number) {
  return error_number == EOPNOTSUPP || error_number == EISDIR || error_number == EINVAL;
}

std::string ProcPath(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

}  // namespace

struct ArchiveWriter::Impl {
  ArchiveWriterTestHooks hooks;
  std::string folder;  // destination folder, "." when the path names none
  std::string name;    // file name of the archive in `folder`
  int folder_fd = -1;
  int fd = -1;
  bool unnamed = false;        // an O_TMPFILE file, which vanishes by itself
  std::string temporary_name;  // a hidden name in `folder` that exists for now
  int temporary_slot = -1;
  archive* writer = nullptr;
  dev_t device = 0;
  ino_t inode = 0;
  bool has_older = false;
  dev_t older_device = 0;
  ino_t older_inode = 0;
  std::uint64_t bytes_written = 0;
  std::string write_failure;  // the system's reason from the first failed write
  bool discarding = false;    // the archive is being thrown away: write nothing more
  std::string lost;           // set once the archive can no longer be finished
  bool closed = false;
  bool finished = false;
  std::vector<WrittenEntry> entries;
  std::vector<unsigned char> piece;

  Impl() = default;
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  ~Impl() {
    if (!finished) Abandon();
    if (folder_fd >= 0) close(folder_fd);
  }

  std::string FolderPath(const std::string& file) const {
    return folder == "/" ? "/" + file : folder + "/" + file;
  }

  static bool Fail(std::string* error, std::string reason) {
    if (error != nullptr) *error = std::move(reason);
    return false;
  }

  bool Open(const std::string& path, std::string* error) {
    if (path.empty()) return Fail(error, "压缩包路径为空");
    const std::size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty() || name == "." || name == "..") {
      name.clear();
      return Fail(error, "压缩包名称无效：" + path);
    }
    folder_fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder_fd < 0) return Fail(error, ErrnoText("无法打开输出文件夹", errno));

    struct stat older;
    if (fstatat(folder_fd, name.c_str(), &older, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISDIR(older.st_mode)) return Fail(error, "已有同名的文件夹：" + path);
      if (fstatat(folder_fd, name.c_str(), &older, 0) == 0) {
        has_older = true;
        older_device = older.st_dev;
        older_inode = older.st_ino;
      }
    } else if (errno != ENOENT) {
      return Fail(error, ErrnoText("无法创建压缩包", errno));
    } else if (!ProbeName(error)) {
      return false;
    }
    if (!OpenDataFile(error)) return false;
    struct stat status;
    if (fstat(fd, &status) != 0) return Fail(error, ErrnoText("无法创建压缩包", errno));
    device = status.st_dev;
    inode = status.st_ino;
    return StartWriter(error);
  }

  // The unnamed file gets its name only at the end; trying the name now turns a name the file
  // system refuses (too long, characters it cannot hold) into a failure before any work is done.
  bool ProbeName(std::string* error) {
    const int slot = RegisterUnfinishedFile(FolderPath(name));
    if (slot < 0) return Fail(error, "无法创建压缩包：路径太长");
    if (!BeginUnfinishedFileChange(slot)) {
      ForgetUnfinishedFile(slot);
      return Fail(error, kEnding);
    }
    const int probe =
        openat(folder_fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const int probe_error = errno;
    if (probe >= 0) {
      close(probe);
      unlinkat(folder_fd, name.c_str(), 0);
    }
    EndUnfinishedFileChange(slot);
    ForgetUnfinishedFile(slot);
    if (probe < 0 && probe_error != EEXIST) {
      return Fail(error, ErrnoText("无法创建压缩包", probe_error));
    }
    return true;
  }

  bool OpenDataFile(std::string* error) {
    if (!hooks.force_named_temporary) {
      fd = openat(folder_fd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
      if (fd >= 0) {
        // Giving the file a name later goes through /proc; without it use a named file.
        struct stat by_proc;
        struct stat by_fd;
        if (stat(ProcPath(fd).c_str(), &by_proc) == 0 && fstat(fd, &by_fd) == 0 &&
            by_proc.st_ino == by_fd.st_ino && by_proc.st_dev == by_fd.st_dev) {
          unnamed = true;
          return true;
        }
        close(fd);
        fd = -1;
      } else if (!LacksUnnamedFiles(errno)) {
        return Fail(error, ErrnoText("无法创建压缩包", errno));
      }
    }
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
      std::string candidate = TemporaryName(name);
      const int slot = RegisterUnfinishedFile(FolderPath(candidate));
      if (slot < 0) return Fail(error, "无法创建压缩包：路径太长");
      if (!BeginUnfinishedFileChange(slot)) {
        ForgetUnfinishedFile(slot);
        return Fail(error, kEnding);
      }
      fd = openat(folder_fd, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      const int open_error = errno;
      EndUnfinishedFileChange(slot);
      if (fd >= 0) {
        temporary_name = std::move(candidate);
        temporary_slot = slot;
        return true;
      }
      ForgetUnfinishedFile(slot);
      if (open_error != EEXIST) return Fail(error, ErrnoText("无法创建压缩包", open_error));
    }
    return Fail(error, "无法创建压缩包：找不到空闲的临时文件名");
  }

  bool StartWriter(std::string* error) {
    writer = archive_write_new();
    if (writer == nullptr) return Fail(error, "无法创建压缩包：内存不足");
    // Names are handed over as UTF-8 and stored as such, flagged, whatever the locale.
    if (archive_write_set_format_zip(writer) != ARCHIVE_OK ||
        archive_write_set_format_option(writer, "zip", "hdrcharset", "UTF-8") != ARCHIVE_OK ||
        archive_write_set_format_option(writer, "zip", "compression-level", "6") != ARCHIVE_OK ||
        archive_write_set_bytes_per_block(writer, kWriteBlock) != ARCHIVE_OK ||
        // No padding after the end record: the file ends where the archive ends.
        archive_write_set_bytes_in_last_block(writer, 1) != ARCHIVE_OK ||
        archive_write_open2(writer, this, nullptr, &Impl::WriteToFile, nullptr, nullptr) !=
            ARCHIVE_OK) {
      return Fail(error, std::string("无法创建压缩包：") + LibraryError());
    }
    return true;
  }

  std::string LibraryError() const {
    const char* text = writer != nullptr ? archive_error_string(writer) : nullptr;
    return text != nullptr ? text : "未知错误";
  }

  static la_ssize_t WriteToFile(archive*, void* client, const void* buffer, size_t length) {
    auto* self = static_cast<Impl*>(client);
    // A failure is recorded, not returned: libarchive 3.6.2 leaks its buffers and the deflate
    // state when it is freed in its fatal state, so it is kept out of it. Every caller looks at
    // `write_failure` after each library call, and nothing more reaches the file.
    if (self->discarding || !self->write_failure.empty()) return static_cast<la_ssize_t>(length);
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t left = length;
    while (left > 0) {
      std::size_t chunk = left;
      if (self->hooks.fail_writes_after != std::numeric_limits<std::uint64_t>::max()) {
        if (self->bytes_written >= self->hooks.fail_writes_after) {
          return self->WriteFailed(self->hooks.write_errno, length);
        }
        chunk = static_cast<std::size_t>(
            std::min<std::uint64_t>(chunk, self->hooks.fail_writes_after - self->bytes_written));
      }
      const ssize_t n = write(self->fd, bytes, chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return self->WriteFailed(n < 0 ? errno : ENOSPC, length);
      bytes += n;
      left -= static_cast<std::size_t>(n);
      self->bytes_written += static_cast<std::uint64_t>(n);
    }
    return static_cast<la_ssize_t>(length);
  }

  la_ssize_t WriteFailed(int error_number, std::size_t length) {
    write_failure = ErrnoText("写入压缩包失败", error_number);
    return static_cast<la_ssize_t>(length);
  }

  // After a failed write or a fatal library result the archive cannot be finished: every later
  // call fails with this reason.
  void MarkLost() {
    if (!lost.empty()) return;
    lost = !write_failure.empty() ? write_failure : "写入压缩包失败：" + LibraryError();
  }

  bool Usable(std::string* error) const {
    if (closed) return Fail(error, "压缩包已经关闭");
    if (!lost.empty()) return Fail(error, lost);
    return true;
  }

  bool WriteHeader(archive_entry* entry, std::string* error) {
    const int result = archive_write_header(writer, entry);
    if (result == ARCHIVE_FATAL || !write_failure.empty()) {
      MarkLost();
      return Fail(error, lost);
    }
    if (result < ARCHIVE_WARN) return Fail(error, "写入压缩包失败：" + LibraryError());
    return true;
  }

  bool WriteData(const unsigned char* data, std::size_t length) {
    while (length > 0) {
      const std::size_t chunk = std::min(length, kCopyPiece);
      // libarchive quietly cuts data beyond the declared size and reports partial writes only
      // through this count, so anything short of the whole chunk loses the archive.
      if (archive_write_data(writer, data, chunk) != static_cast<la_ssize_t>(chunk) ||
          !write_failure.empty()) {
        MarkLost();
        return false;
      }
      data += chunk;
      length -= chunk;
    }
    return true;
  }

  bool FinishEntry(std::string* error) {
    if (archive_write_finish_entry(writer) < ARCHIVE_WARN || !write_failure.empty()) {
      MarkLost();
      return Fail(error, lost);
    }
    return true;
  }

  bool IsOwn(dev_t file_device, ino_t file_inode) const {
    return (file_device == device && file_inode == inode) ||
           (has_older && file_device == older_device && file_inode == older_inode);
  }

  // Reads until `length` bytes or the end of the file; gives the count, and the reason in
  // `*problem` when a read failed.
  static std::size_t ReadFully(int source, unsigned char* buffer, std::size_t length,
                               std::string* problem) {
    std::size_t got = 0;
    while (got < length) {
      const ssize_t n = read(source, buffer + got, length - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        *problem = ErrnoText("读取文件出错", errno);
        break;
      }
      if (n == 0) break;
      got += static_cast<std::size_t>(n);
    }
    return got;
  }

  bool AddFile(int source_folder, const std::string& source_name, const std::string& entry_name,
               std::string* error) {
    if (!Usable(error)) return false;
    // Only regular files are opened at all: opening a device can have effects of its own.
    struct stat status;
    if (fstatat(source_folder, source_name.c_str(), &status, 0) != 0) {
      return Fail(error, ErrnoText("无法读取文件", errno));
    }
    if (!S_ISREG(status.st_mode)) return Fail(error, "不是普通文件");
    // O_NONBLOCK: should a FIFO take the file's place meanwhile, opening it must not wait.
    FileDescriptor source(OpenSourceFile(source_folder, source_name.c_str()));
    if (source.get() < 0) return Fail(error, ErrnoText("无法打开文件", errno));
    if (fstat(source.get(), &status) != 0) return Fail(error, ErrnoText("无法读取文件", errno));
    if (!S_ISREG(status.st_mode)) return Fail(error, "不是普通文件");
    if (IsOwn(status.st_dev, status.st_ino))
      return Fail(error, "这是正在写入的压缩包，不能放进它自己");
    // Only advice for the read-ahead; a file system that ignores it loses nothing.
    posix_fadvise(source.get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    EntryPointer entry(archive_entry_new());
    if (!entry) return Fail(error, "内存不足");
    archive_entry_set_pathname_utf8(entry.get(), entry_name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), status.st_mode & 07777);
    // The declared size lets the writer use Zip64 exactly for the entries that need it.
    archive_entry_set_size(entry.get(), status.st_size);
    archive_entry_set_mtime(entry.get(), status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    archive_entry_set_atime(entry.get(), status.st_atim.tv_sec, status.st_atim.tv_nsec);
    archive_entry_set_ctime(entry.get(), status.st_ctim.tv_sec, status.st_ctim.tv_nsec);
    if (!WriteHeader(entry.get(), error)) return false;

    const auto declared = static_cast<std::uint64_t>(status.st_size);
    std::uint64_t copied = 0;
    auto crc = static_cast<std::uint32_t>(crc32_z(0, nullptr, 0));
    std::string problem;
    piece.resize(kCopyPiece);
    while (copied < declared) {
      const auto want =
          static_cast<std::size_t>(std::min<std::uint64_t>(kCopyPiece, declared - copied));
      std::size_t got = 0;
      if (problem.empty()) {
        if (hooks.before_source_read) hooks.before_source_read(copied);
        got = ReadFully(source.get(), piece.data(), want, &problem);
        if (got < want && problem.empty()) problem = "文件在打包时被改动（变短了）";
      }
      // The entry keeps its declared size whatever the file does, so that the archive stays
      // consistent; the missing bytes become zeros.
      std::memset(piece.data() + got, 0, want - got);
      if (!WriteData(piece.data(), want)) return Fail(error, lost);
      crc = static_cast<std::uint32_t>(crc32_z(crc, piece.data(), want));
      copied += want;
    }
    if (problem.empty()) {
      unsigned char extra = 0;
      std::string ignored;
      struct stat after;
      if (ReadFully(source.get(), &extra, 1, &ignored) != 0) {
        problem = "文件在打包时被改动（变长了）";
      } else if (fstat(source.get(), &after) == 0 &&
                 (after.st_size != status.st_size ||
                  after.st_mtim.tv_sec != status.st_mtim.tv_sec ||
                  after.st_mtim.tv_nsec != status.st_mtim.tv_nsec)) {
        problem = "文件在打包时被改动";
      }
    }
    if (!FinishEntry(error)) return false;
    entries.push_back({entry_name, declared, crc});
    if (!problem.empty()) return Fail(error, problem);
    return true;
  }

  bool AddMemory(std::span<const std::uint8_t> data, const std::string& entry_name,
                 std::string* error) {
    if (!Usable(error)) return false;
    EntryPointer entry(archive_entry_new());
    if (!entry) return Fail(error, "内存不足");
    archive_entry_set_pathname_utf8(entry.get(), entry_name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFREG);
    archive_entry_set_perm(entry.get(), 0644);
    archive_entry_set_size(entry.get(), static_cast<la_int64_t>(data.size()));
    if (!WriteHeader(entry.get(), error)) return false;
    if (!WriteData(data.data(), data.size())) return Fail(error, lost);
    if (!FinishEntry(error)) return false;
    entries.push_back({entry_name, data.size(),
                       static_cast<std::uint32_t>(crc32_z(0, data.data(), data.size()))});
    return true;
  }

  bool Close(std::string* error, CloseCheck check) {
    if (closed) return Fail(error, "压缩包已经关闭");
    closed = true;
    bool ok = lost.empty();
    if (ok && (archive_write_close(writer) != ARCHIVE_OK || !write_failure.empty())) {
      MarkLost();
      ok = false;
    }
    if (!ok) {
      Abandon();
      return Fail(error, lost);
    }
    archive_write_free(writer);
    writer = nullptr;
    if (check == CloseCheck::kReadBack && !VerifyArchive(fd, entries, error)) {
      Abandon();
      return false;
    }
    if (fsync(fd) != 0) {
      const int sync_error = errno;
      Abandon();
      return Fail(error, ErrnoText("无法把压缩包写入磁盘", sync_error));
    }
    if (!PutInPlace(error)) {
      Abandon();
      return false;
    }
    close(fd);
    fd = -1;
    finished = true;
    return true;
  }

  bool PutInPlace(std::string* error) {
    if (unnamed) {
      // An unnamed file cannot replace a name directly: it gets a hidden name first, which is
      // then renamed over the final one in a single step.
      const std::string proc_path = ProcPath(fd);
      bool linked = false;
      for (int attempt = 0; attempt < kTemporaryNameAttempts && !linked; ++attempt) {
        std::string candidate = TemporaryName(name);
        const int slot = RegisterUnfinishedFile(FolderPath(candidate));
        if (slot < 0) return Fail(error, "无法保存压缩包：路径太长");
        if (!BeginUnfinishedFileChange(slot)) {
          ForgetUnfinishedFile(slot);
          return Fail(error, kEnding);
        }
        int result =
            linkat(AT_FDCWD, proc_path.c_str(), folder_fd, candidate.c_str(), AT_SYMLINK_FOLLOW);
        int change_error = errno;
        if (result == 0) {
          linked = true;
          result = renameat(folder_fd, candidate.c_str(), folder_fd, name.c_str());
          change_error = errno;
          if (result != 0) unlinkat(folder_fd, candidate.c_str(), 0);
        }
        EndUnfinishedFileChange(slot);
        ForgetUnfinishedFile(slot);
        if (result != 0 && (linked || change_error != EEXIST)) {
          return Fail(error, ErrnoText("无法保存压缩包", change_error));
        }
      }
      if (!linked) return Fail(error, "无法保存压缩包：找不到空闲的临时文件名");
    } else {
      if (!BeginUnfinishedFileChange(temporary_slot)) return Fail(error, kEnding);
      const int result = renameat(folder_fd, temporary_name.c_str(), folder_fd, name.c_str());
      const int rename_error = errno;
      EndUnfinishedFileChange(temporary_slot);
      if (result != 0) return Fail(error, ErrnoText("无法保存压缩包", rename_error));
      ForgetUnfinishedFile(temporary_slot);
      temporary_slot = -1;
      temporary_name.clear();
    }
    // The new name must survive a power cut as well. Some file systems cannot sync a folder.
    if (fsync(folder_fd) != 0 && errno != EINVAL && errno != EOPNOTSUPP) {
      return Fail(error, ErrnoText("无法把压缩包写入磁盘", errno));
    }
    return true;
  }

  // Leaves nothing behind: no temporary file and no file under the archive's name, neither a
  // partial new one nor an older one that could pass for this run's result.
  void Abandon() {
    if (writer != nullptr) {
      // Closing lets the library release everything; what it still writes goes nowhere.
      discarding = true;
      archive_write_close(writer);
      archive_write_free(writer);
      writer = nullptr;
    }
    if (fd >= 0) {
      close(fd);
      fd = -1;
    }
    if (folder_fd >= 0 && !temporary_name.empty()) unlinkat(folder_fd, temporary_name.c_str(), 0);
    ForgetUnfinishedFile(temporary_slot);
    temporary_slot = -1;
    temporary_name.clear();
    if (folder_fd >= 0 && !name.empty()) unlinkat(folder_fd, name.c_str(), 0);
    closed = true;
    finished = true;  // nothing more to clean up
  }
};

ArchiveWriter::ArchiveWriter(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

ArchiveWriter::~ArchiveWriter() = default;

std::unique_ptr<ArchiveWriter> ArchiveWriter::CreateArchive(const std::string& path,
                                                            std::string* error) {
  return CreateArchiveForTesting(path, error, ArchiveWriterTestHooks());
}

std::unique_ptr<ArchiveWriter> ArchiveWriter::CreateArchiveForTesting(
    const std::string& path, std::string* error, ArchiveWriterTestHooks hooks) {
  auto impl = std::make_unique<Impl>();
  impl->hooks = std::move(hooks);
  if (!impl->Open(path, error)) return nullptr;  // the destructor cleans up
  return std::unique_ptr<ArchiveWriter>(new ArchiveWriter(std::move(impl)));
}

bool ArchiveWriter::AddArchiveFile(const std::string& source_path, const std::string& entry_name,
                                   std::string* error) {
  return impl_->AddFile(AT_FDCWD, source_path, entry_name, error);
}

bool ArchiveWriter::AddArchiveFileAt(int folder_fd, const std::string& name,
                                     const std::string& entry_name, std::string* error) {
  return impl_->AddFile(folder_fd, name, entry_name, error);
}

bool ArchiveWriter::AddArchiveMemory(std::span<const std::uint8_t> data,
                                     const std::string& entry_name, std::string* error) {
  return impl_->AddMemory(data, entry_name, error);
}

bool ArchiveWriter::CloseArchive(std::string* error, CloseCheck check) {
  return impl_->Close(error, check);
}

bool ArchiveWriter::Lost() const { return !impl_->lost.empty() || !impl_->write_failure.empty(); }

const std::vector<WrittenEntry>& ArchiveWriter::entries() const { return impl_->entries; }

dev_t ArchiveWriter::device() const { return impl_->device; }

ino_t ArchiveWriter::inode() const { return impl_->inode; }

bool ArchiveWriter::IsOwnArchive(dev_t device, ino_t inode) const {
  return impl_->IsOwn(device, inode);
}

}  // namespace lormex
