#include "settings/preference_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "settings/preference_save_calls.h"
#include "settings/preference_text.h"

namespace lormex {
namespace {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports the result: some file systems report write errors only here.
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool ReadAll(int fd, std::string& bytes) {
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
}

// Reads all of an open file if it is a regular one. The callers open without blocking, so that a
// FIFO or device in the file's place cannot hang the program; it is refused here.
bool ReadRegularFile(const FileDescriptor& fd, struct stat& status, std::string& bytes) {
  return ::fstat(fd.get(), &status) == 0 && S_ISREG(status.st_mode) && ReadAll(fd.get(), bytes);
}

// Follows symbolic links to the file they finally name, so that a save writes through a link to
// its target instead of replacing the link with a plain file. A dangling link gives its target.
bool ResolveLinks(std::string path, std::string& target) {
  for (int depth = 0; depth < 40; ++depth) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) {
      if (errno != ENOENT) return false;
      target = path;
      return true;
    }
    if (!S_ISLNK(status.st_mode)) {
      target = path;
      return true;
    }
    std::string link(static_cast<std::size_t>(status.st_size) + 256, '\0');
    const ssize_t length = ::readlink(path.c_str(), link.data(), link.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= link.size()) return false;
    link.resize(static_cast<std::size_t>(length));
    const std::size_t slash = path.rfind('/');
    if (link.front() == '/' || slash == std::string::npos) {
      path = link;
    } else {
      path = path.substr(0, slash + 1) + link;
    }
  }
  return false;
}

bool WriteAll(const PreferenceSaveCalls& calls, int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = calls.write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A hidden name derived from the target's, so that a left-over after a crash is recognisable.
// It need not be unpredictable: creating and linking refuse existing names, and the callers then
// try the next one.
std::string TemporaryName(std::string_view target_name) {
  static unsigned counter = 0;
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return "." + std::string(target_name.substr(0, 200)) + "." + std::to_string(::getpid()) + "-" +
         std::to_string((static_cast<unsigned long long>(now) + counter++) % 1000000000u);
}

// A new file beside the target, removed again unless it has been renamed over the target.
class TemporaryFile {
 public:
  TemporaryFile(int folder, std::string_view target_name)
      : folder_(folder), target_name_(target_name) {}
  ~TemporaryFile() {
    if (!name_.empty()) ::unlinkat(folder_, name_.c_str(), 0);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Without a name the file vanishes by itself when the process dies before it is linked, so a
  // save cut short leaves nothing behind. Not every file system offers this.
  bool OpenUnnamed(mode_t mode) {
    fd_.Reset(::openat(folder_, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode));
    return static_cast<bool>(fd_);
  }
  bool OpenNamed(mode_t mode) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = TemporaryName(target_name_);
      fd_.Reset(::openat(folder_, name.c_str(),
                         O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
      if (fd_) {
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }
  // Gives an unnamed file its name, right before the rename; it must still be open.
  bool Link(const PreferenceSaveCalls& calls) {
    if (!name_.empty()) return true;
    const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = TemporaryName(target_name_);
      if (calls.linkat(AT_FDCWD, self.c_str(), folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        name_ = std::move(name);
        return true;
      }
      if (errno != EEXIST) return false;
    }
    return false;
  }
  FileDescriptor& fd() { return fd_; }
  const std::string& name() const { return name_; }
  void Release() { name_.clear(); }

 private:
  int folder_;
  std::string target_name_;
  std::string name_;
  FileDescriptor fd_;
};

enum class ReplaceResult { kReplaced, kFailed, kTryNamed };

// Puts `bytes` in place of `name` in `folder` so that the file holds either its old or its new
// content at every moment. `old_status` is the replaced file's, or null when there is none.
ReplaceResult ReplaceFile(int folder, bool folder_syncable, const std::string& name,
                          std::string_view bytes, const struct stat* old_status, bool unnamed) {
  const PreferenceSaveCalls& calls = PreferenceSaveCallsForTesting();
  TemporaryFile temporary(folder, name);
  // A new file gets 0666 less the umask from the kernel; a replacement gets the old file's bits,
  // set below once the owner is right.
  const mode_t mode = old_status != nullptr ? 0600 : 0666;
  if (unnamed ? !temporary.OpenUnnamed(mode) : !temporary.OpenNamed(mode)) {
    return unnamed ? ReplaceResult::kTryNamed : ReplaceResult::kFailed;
  }
  const int fd = temporary.fd().get();
  if (old_status != nullptr) {
    struct stat own;
    if (::fstat(fd, &own) != 0) return ReplaceResult::kFailed;
    // Only root may give the file away; anyone may keep its group if they belong to it.
    if ((own.st_uid != old_status->st_uid || own.st_gid != old_status->st_gid) &&
        ::fchown(fd, old_status->st_uid, old_status->st_gid) != 0 &&
        own.st_gid != old_status->st_gid) {
      [[maybe_unused]] const int ignored = ::fchown(fd, static_cast<uid_t>(-1), old_status->st_gid);
    }
    if (::fchmod(fd, old_status->st_mode & 07777) != 0) return ReplaceResult::kFailed;
  }
  if (!WriteAll(calls, fd, bytes)) return ReplaceResult::kFailed;
  if (calls.fsync(fd) != 0) return ReplaceResult::kFailed;
  // Linking goes through /proc, which a system may lack; the named way does without.
  if (!temporary.Link(calls)) return ReplaceResult::kTryNamed;
  if (!temporary.fd().Close()) return ReplaceResult::kFailed;
  if (calls.renameat(folder, temporary.name().c_str(), folder, name.c_str()) != 0) {
    return ReplaceResult::kFailed;
  }
  temporary.Release();
  // The new file is in place from here on; a failed folder sync only leaves the rename less
  // durable, it does not undo it.
  if (folder_syncable) calls.fsync(folder);
  return ReplaceResult::kReplaced;
}

}  // namespace

PreferenceSaveCalls& PreferenceSaveCallsForTesting() {
  static PreferenceSaveCalls calls;
  return calls;
}

Settings LoadSettings(const std::string& path) {
  const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  struct stat status;
  std::string bytes;
  if (!fd || !ReadRegularFile(fd, status, bytes)) return Settings{};
  return ReadSettingsFrom(ParsePreferenceText(bytes));
}

bool SaveSettings(const Settings& settings, const std::string& path) {
  std::string target;
  if (!ResolveLinks(path, target)) return false;
  const std::size_t slash = target.rfind('/');
  const std::string folder_path =
      slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  if (name.empty() || name == "." || name == "..") return false;

  bool folder_syncable = true;
  FileDescriptor folder(::open(folder_path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!folder && errno == EACCES) {
    // A folder we may write but not list: still usable, only not syncable.
    folder_syncable = false;
    folder.Reset(::open(folder_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
  }
  if (!folder) return false;

  // Opening for writing is the test of a read-only file: the rename below would replace it
  // regardless, but a file its owner made read-only must stay as it is.
  PreferenceFile file;
  struct stat old_status;
  const FileDescriptor old(::openat(folder.get(), name.c_str(),
                                    O_RDWR | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW));
  if (old) {
    // A file whose content cannot be read is kept rather than overwritten with what little we
    // know.
    std::string bytes;
    if (!ReadRegularFile(old, old_status, bytes)) return false;
    file = ParsePreferenceText(bytes);
  } else if (errno != ENOENT) {
    return false;
  }

  WriteSettingsInto(settings, file);
  const std::string bytes = SerializePreferenceFile(file);
  const struct stat* replaced = old ? &old_status : nullptr;
  ReplaceResult result = ReplaceResult::kTryNamed;
  if (PreferenceSaveCallsForTesting().unnamed_temporary) {
    result = ReplaceFile(folder.get(), folder_syncable, name, bytes, replaced, true);
  }
  if (result == ReplaceResult::kTryNamed) {
    result = ReplaceFile(folder.get(), folder_syncable, name, bytes, replaced, false);
  }
  return result == ReplaceResult::kReplaced;
}

}  // namespace lormex
