#include "albums/album_rules.h"

#include <sys/stat.h>

namespace lormex {

std::string AlbumNameFromPath(const std::string& path) {
  if (path.empty()) return std::string();
  const std::string folder = path.substr(0, path.size() - 1);
  const std::size_t slash = folder.rfind('/');
  std::string name = slash == std::string::npos ? folder : folder.substr(slash + 1);
  // The first character is never looked at, so a leading dot is never an extension.
  for (std::size_t i = name.size(); i-- > 1;) {
    if (name[i] == ' ') break;
    if (name[i] == '.') {
      if (i + 1 < name.size()) name.resize(i);
      break;
    }
  }
  return name;
}

bool IsLongEnoughForAlbum(const std::string& path) { return path.size() >= 3; }

std::vector<std::string> DroppedAlbumPaths(const std::string& text) {
  std::vector<std::string> paths;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string path = text.substr(start, end - start);
    if (!path.empty()) {
      if (path.back() != '/') path += '/';
      paths.push_back(std::move(path));
    }
    start = end + 1;
  }
  return paths;
}

bool IsFolder(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace lormex
