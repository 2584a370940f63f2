// Full-path search order for manager libraries (see library_search.h).
#include "platform/library_search.h"

#include <cctype>

namespace platform {
namespace {

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// "C:\dir", "\\server\share" and "/dir" are absolute; "dir", ".", "C:dir"
// and "\dir" (relative to the current drive) are not.
bool IsAbsolute(const std::string &dir) {
  if (dir.size() >= 3 && std::isalpha(static_cast<unsigned char>(dir[0])) && dir[1] == ':' &&
      IsSeparator(dir[2]))
    return true;
  if (dir.size() >= 2 && IsSeparator(dir[0]) && IsSeparator(dir[1]))
    return true;
  return !dir.empty() && dir[0] == '/';
}

std::string WithSeparator(std::string dir) {
  if (!dir.empty() && !IsSeparator(dir.back()))
    dir += dir.find('\\') != std::string::npos ? '\\' : '/';
  return dir;
}

// Windows file names ignore case and the kind of slash.
std::string Comparable(const std::string &dir) {
  std::string out;
  for (char c : WithSeparator(dir))
    out += IsSeparator(c) ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string> SplitList(const std::string &list, char separator) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : list) {
    if (c == separator) {
      parts.push_back(part);
      part.clear();
    } else if (c != '"') { // quoted entries may hold the separator on Windows
      part += c;
    }
  }
  parts.push_back(part);
  return parts;
}

} // namespace

std::vector<std::string> LibrarySearchDirs(const LibraryPlaces &places) {
  const std::string current = places.CurrentDir.empty() ? "" : Comparable(places.CurrentDir);
  std::vector<std::string> dirs;
  std::vector<std::string> seen;
  auto add = [&](const std::string &dir, bool mayBeCurrent) {
    if (!IsAbsolute(dir))
      return;
    const std::string key = Comparable(dir);
    // The current directory, or one below it (both end in a separator).
    if (!mayBeCurrent && !current.empty() && key.rfind(current, 0) == 0)
      return;
    for (const auto &s : seen)
      if (s == key)
        return;
    seen.push_back(key);
    dirs.push_back(WithSeparator(dir));
  };
  // The executable's, system and Windows directories are trusted places even
  // when the program was started in one of them; PATH is the user's, and an
  // entry naming the current directory or one below it would bring it back
  // into the search.
  add(places.ExecutableDir, true);
  add(places.SystemDir, true);
  add(places.WindowsDir, true);
  for (const auto &entry : SplitList(places.PathVariable, places.PathListSeparator))
    add(entry, false);
  return dirs;
}

std::string FindLibraryFile(const char *name, const LibraryPlaces &places,
                            const std::function<bool(const std::string &)> &exists) {
  for (const auto &dir : LibrarySearchDirs(places))
    if (exists(dir + name))
      return dir + name;
  return {};
}

} // namespace platform
