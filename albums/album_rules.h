#ifndef LORMEX_ALBUMS_ALBUM_RULES_H_
#define LORMEX_ALBUMS_ALBUM_RULES_H_

#include <string>
#include <vector>

namespace lormex {

// The album name shown in the list and used in the archive name: the last folder name of the
// path (which ends with "/"), less an extension. An extension is cut only at a dot that is not
// the name's first or last character and has no blank after it, so "Wedding 2016.05" gives
// "Wedding 2016" while "Trip 2016.05 final", ".raw" and "name." stay whole.
std::string AlbumNameFromPath(const std::string& path);

// False for a folder-tree text too short to be an album folder: empty (nothing or the computer
// selected) or the file-system root "/". The shortest path that passes is "/a/".
bool IsLongEnoughForAlbum(const std::string& path);

// The album folders of a dropped file list: the paths joined by line feeds, each given a
// trailing "/" when it has none. Empty lines are left out.
std::vector<std::string> DroppedAlbumPaths(const std::string& text);

// True when `path` names a folder (a link to one included).
bool IsFolder(const std::string& path);

}  // namespace lormex

#endif  // LORMEX_ALBUMS_ALBUM_RULES_H_
