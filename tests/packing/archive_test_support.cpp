#include "tests/packing/archive_test_support.h"

#include <archive.h>
#include <archive_entry.h>
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <random>

#include "tests/support/test_files.h"

namespace lormex::testing {

std::string RandomBytes(std::size_t length, std::uint32_t seed) {
  std::mt19937 generator(seed);
  std::string bytes(length, '\0');
  for (char& byte : bytes) byte = static_cast<char>(generator());
  return bytes;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadEntryData(const std::string& path, int index) {
  archive* reader = archive_read_new();
  archive_read_support_format_zip(reader);
  std::string data;
  if (archive_read_open_filename(reader, path.c_str(), 1 << 16) != ARCHIVE_OK) {
    ADD_FAILURE() << "cannot open " << path << ": " << archive_error_string(reader);
    archive_read_free(reader);
    return data;
  }
  archive_entry* entry = nullptr;
  // A name that the C locale cannot show gives a warning, not an error.
  for (int i = 0; archive_read_next_header(reader, &entry) >= ARCHIVE_WARN; ++i) {
    if (i != index) continue;
    char buffer[1 << 16];
    la_ssize_t n;
    while ((n = archive_read_data(reader, buffer, sizeof buffer)) > 0) {
      data.append(buffer, static_cast<std::size_t>(n));
    }
    EXPECT_EQ(n, 0) << archive_error_string(reader);
    break;
  }
  archive_read_free(reader);
  return data;
}

std::uint32_t Crc32(const std::string& bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

std::span<const std::uint8_t> AsBytes(const std::string& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string Python() {
  return access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
}

constexpr char kPythonTest[] =
    "import sys, zipfile\n"
    "with zipfile.ZipFile(sys.argv[1]) as z:\n"
    "    bad = z.testzip()\n"
    "    if bad is not None:\n"
    "        sys.exit('bad entry: ' + bad)\n";

// Appends one line per entry of the folder open at `fd` (which it closes), sorted by name, and
// descends into folders.
void FingerprintFolder(int fd, const std::string& relative, std::string* out) {
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    ADD_FAILURE() << "cannot list " << relative;
    close(fd);
    return;
  }
  std::vector<std::string> names;
  while (const dirent* item = readdir(dir)) {
    const std::string name = item->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    struct stat status;
    if (fstatat(dirfd(dir), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
      ADD_FAILURE() << "cannot stat " << relative << name;
      continue;
    }
    std::string line = relative + name + " mode=" + std::to_string(status.st_mode) +
                       " size=" + std::to_string(status.st_size) +
                       " mtime=" + std::to_string(status.st_mtim.tv_sec) + "." +
                       std::to_string(status.st_mtim.tv_nsec) +
                       " ctime=" + std::to_string(status.st_ctim.tv_sec) + "." +
                       std::to_string(status.st_ctim.tv_nsec);
    if (S_ISLNK(status.st_mode)) {
      std::string target(4096, '\0');
      const ssize_t n = readlinkat(dirfd(dir), name.c_str(), target.data(), target.size());
      target.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
      line += " link=" + target;
    } else if (S_ISREG(status.st_mode)) {
      const int file = openat(dirfd(dir), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      uLong crc = crc32_z(0, nullptr, 0);
      std::uint64_t total = 0;
      if (file >= 0) {
        std::vector<unsigned char> buffer(1 << 16);
        ssize_t n;
        while ((n = read(file, buffer.data(), buffer.size())) > 0) {
          crc = crc32_z(crc, buffer.data(), static_cast<std::size_t>(n));
          total += static_cast<std::uint64_t>(n);
        }
        close(file);
        line += " read=" + std::to_string(total) + " crc=" + std::to_string(crc);
      } else {
        line += " unreadable";
      }
    }
    *out += line + "\n";
    if (S_ISDIR(status.st_mode)) {
      const int child = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (child >= 0) {
        FingerprintFolder(child, relative + name + "/", out);
      } else {
        *out += relative + name + "/ unlistable\n";
      }
    }
  }
  closedir(dir);
}

// Info-ZIP's unzip keeps names in a 4096-byte buffer and warns (status 1, after testing every
// entry's data all the same) about a longer one; in a locale that is not UTF-8 it also shows each
// non-ASCII character as "#Uxxxx", six bytes instead of three. Deep trees of long Chinese names
// get there; the archive is not at fault, so these warnings alone are forgiven.
bool OnlyLongNameWarnings(const std::string& output) {
  static const std::string kWarnings[] = {
      "warning:  filename too long--truncating.",
      "warning:  Converted Unicode filename too long--truncating."};
  static const std::string kEnd = "At least one warning-error was detected in ";
  std::size_t start = 0;
  bool any = false;
  while (start < output.size()) {
    const std::size_t end = std::min(output.find('\n', start), output.size());
    const std::string line = output.substr(start, end - start);
    start = end + 1;
    if (line.empty() || line.rfind(kEnd, 0) == 0) continue;
    if (line != kWarnings[0] && line != kWarnings[1]) return false;
    any = true;
  }
  return any;
}

}  // namespace

void ExpectReadersAccept(const std::string& archive) {
  struct Reader {
    const char* program;
    std::string command;
  };
  const Reader readers[] = {
      {"unzip", "unzip -tq " + Quoted(archive)},
      {"7zz", "7zz t " + Quoted(archive)},
      {"python3", Python() + " -c " + Quoted(kPythonTest) + " " + Quoted(archive)},
  };
  for (const Reader& reader : readers) {
    if (RunCommand(std::string("command -v ") + reader.program + " >/dev/null 2>&1").status != 0) {
      ADD_FAILURE() << reader.program << " is not installed (scripts/setup installs it)";
      continue;
    }
    for (const char* locale : {"C", "C.UTF-8"}) {
      const CommandResult result = RunCommand(std::string("env LANG=") + locale +
                                              " LC_ALL=" + locale + " " + reader.command + " 2>&1");
      if (result.status == 1 && std::string(reader.program) == "unzip" &&
          OnlyLongNameWarnings(result.output)) {
        continue;
      }
      EXPECT_EQ(result.status, 0) << reader.program << " under LANG=" << locale << " rejects "
                                  << archive << ":\n"
                                  << result.output;
    }
  }
}

std::string TreeFingerprint(const std::string& folder) {
  std::string out;
  struct stat status;
  if (stat(folder.c_str(), &status) != 0) {
    ADD_FAILURE() << "cannot stat " << folder;
    return out;
  }
  // The folder's own times change when anything is added to it or removed from it.
  out = ". mode=" + std::to_string(status.st_mode) +
        " mtime=" + std::to_string(status.st_mtim.tv_sec) + "." +
        std::to_string(status.st_mtim.tv_nsec) + "\n";
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    ADD_FAILURE() << "cannot open " << folder;
    return out;
  }
  FingerprintFolder(fd, "", &out);
  return out;
}

}  // namespace lormex::testing
