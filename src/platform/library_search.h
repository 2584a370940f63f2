// Where a manager library is looked for, as full paths: the executable's
// directory, the system directory, the Windows directory, then the absolute
// entries of PATH. The current directory is never among them, on any system:
// it holds a downloaded firmware image and must not be able to plant a
// library. Portable so that the order can be tested with a fake file system.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace platform {

struct LibraryPlaces {
  std::string ExecutableDir;
  std::string SystemDir;
  std::string WindowsDir;
  std::string PathVariable;     // the PATH environment variable as it is
  std::string CurrentDir;       // never searched, not even when PATH names it
  char PathListSeparator = ';'; // ';' on Windows, ':' on POSIX
};

// Directories to search, in order, each ending in a separator; relative and
// repeated entries, and any naming the current directory or one below it,
// are left out.
std::vector<std::string> LibrarySearchDirs(const LibraryPlaces &places);

// The first dir + name for which exists() holds, or empty. The loader is then
// given that file alone: a broken library there is not passed over for
// another one further down the list.
std::string FindLibraryFile(const char *name, const LibraryPlaces &places,
                            const std::function<bool(const std::string &)> &exists);

} // namespace platform
