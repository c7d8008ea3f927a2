#include "packing/album_walk.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "packing/errno_text.h"

namespace lormex {

struct AlbumWalk::Level {
  DIR* dir = nullptr;
  std::string relative;  // "" for the album folder, else "Ceremony/Family/"
  dev_t device = 0;      // identity of the folder itself, for the loop guard
  ino_t inode = 0;

  Level() = default;
  Level(const Level&) = delete;
  Level& operator=(const Level&) = delete;
  ~Level() {
    if (dir != nullptr) closedir(dir);
  }
};

AlbumWalk::AlbumWalk(std::string folder) : root_(std::move(folder)) {
  if (!root_.empty() && root_.back() != '/') root_.push_back('/');
}

AlbumWalk::~AlbumWalk() = default;

void AlbumWalk::EnterFolder(int parent_fd, const char* name, const std::string& relative) {
  const std::string shown_path = root_ + relative;
  // Opening first and asking the open folder for its identity is exact also for mount points
  // and links, where the listing's inode number would not be.
  const int fd = openat(parent_fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    problems_.push_back({shown_path, ErrnoText("无法打开文件夹", errno)});
    return;
  }
  struct stat status;
  if (fstat(fd, &status) != 0) {
    problems_.push_back({shown_path, ErrnoText("无法读取文件夹信息", errno)});
    close(fd);
    return;
  }
  for (const auto& level : stack_) {
    if (level->device == status.st_dev && level->inode == status.st_ino) {
      // A link back to a folder on the current path: its files are walked there already.
      close(fd);
      return;
    }
  }
  DIR* dir = fdopendir(fd);
  if (dir == nullptr) {
    problems_.push_back({shown_path, ErrnoText("无法打开文件夹", errno)});
    close(fd);
    return;
  }
  auto level = std::make_unique<Level>();
  level->dir = dir;
  level->relative = relative;
  level->device = status.st_dev;
  level->inode = status.st_ino;
  stack_.push_back(std::move(level));
}

bool AlbumWalk::Next(WalkEntry* entry) {
  if (!started_) {
    started_ = true;
    EnterFolder(AT_FDCWD, root_.empty() ? "" : root_.c_str(), "");
  }
  while (!stack_.empty()) {
    Level& level = *stack_.back();
    errno = 0;
    const dirent* item = readdir(level.dir);
    if (item == nullptr) {
      if (errno != 0) {
        problems_.push_back({root_ + level.relative, ErrnoText("读取文件夹内容时出错", errno)});
      }
      stack_.pop_back();
      continue;
    }
    const char* name = item->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;

    const int folder_fd = dirfd(level.dir);
    bool is_folder = item->d_type == DT_DIR;
    dev_t device = level.device;
    ino_t inode = item->d_ino;
    if (item->d_type == DT_LNK || item->d_type == DT_UNKNOWN) {
      struct stat status;
      if (fstatat(folder_fd, name, &status, 0) == 0 ||
          fstatat(folder_fd, name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
        is_folder = S_ISDIR(status.st_mode);
        device = status.st_dev;
        inode = status.st_ino;
      }
    }
    if (is_folder) {
      // `level` stays valid: the stack holds pointers.
      EnterFolder(folder_fd, name, level.relative + name + "/");
      continue;
    }
    entry->name.assign(name);
    entry->relative_path.assign(level.relative).append(entry->name);
    entry->full_path.assign(root_).append(entry->relative_path);
    entry->folder_fd = folder_fd;
    entry->device = device;
    entry->inode = inode;
    return true;
  }
  return false;
}

int CountFiles(const std::string& folder) {
  AlbumWalk walk(folder);
  WalkEntry entry;
  std::int64_t count = 0;
  while (walk.Next(&entry)) {
    if (count < INT_MAX) ++count;
  }
  return static_cast<int>(count);
}

std::string PathExtension(const std::string& path) {
  for (std::size_t i = path.size(); i-- > 0;) {
    const char c = path[i];
    if (c == '/' || c == ' ') return {};
    if (c == '.') {
      if (i == 0 || path[i - 1] == '/') return {};
      return path.substr(i + 1);
    }
  }
  return {};
}

bool IsReencodedPicture(const std::string& path) {
  const std::string extension = PathExtension(path);
  return extension == "jpg" || extension == "jpeg";
}

}  // namespace lormex
