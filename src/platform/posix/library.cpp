// Shared libraries, loaded by full path only. The directories, in order: the
// running executable's, the absolute entries of LD_LIBRARY_PATH, those the
// loader's configuration lists (/etc/ld.so.conf and what it includes), then
// /lib and /usr/lib. A bare name handed to dlopen would also take relative
// entries of LD_LIBRARY_PATH ("." or an empty entry: the current directory),
// so the loader's own search is never used; an absolute entry that is the
// current directory under another name is skipped too.
#include "platform/kernel.h"

#include <dlfcn.h>
#include <glob.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace platform {

namespace {

constexpr const char *kLoaderConfig = "/etc/ld.so.conf";
constexpr int kMaxIncludeDepth = 4;

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0)
    return {};
  std::string dir(path, static_cast<std::size_t>(n));
  dir.resize(dir.rfind('/') + 1); // readlink gives an absolute path: there is a '/'
  return dir;
}

bool IsAbsolute(const std::string &dir) {
  return !dir.empty() && dir[0] == '/';
}

void AddDirectory(std::vector<std::string> &dirs, std::string dir) {
  if (!IsAbsolute(dir))
    return;
  if (dir.back() != '/')
    dir += '/';
  dirs.push_back(dir);
}

// The loader takes ':' and ';' as separators.
void AddPathList(std::vector<std::string> &dirs, const char *list) {
  if (list == nullptr)
    return;
  std::string entry;
  for (const char *c = list;; ++c) {
    if (*c == ':' || *c == ';' || *c == '\0') {
      AddDirectory(dirs, entry);
      entry.clear();
      if (*c == '\0')
        return;
    } else {
      entry += *c;
    }
  }
}

void AddConfigFile(std::vector<std::string> &dirs, const std::string &file, int depth);

// "include PATTERN": a relative pattern is relative to the including file.
void AddIncluded(std::vector<std::string> &dirs, const std::string &from, std::string pattern,
                 int depth) {
  if (!IsAbsolute(pattern))
    pattern = from.substr(0, from.rfind('/') + 1) + pattern;
  glob_t found{};
  if (glob(pattern.c_str(), 0, nullptr, &found) == 0)
    for (std::size_t i = 0; i < found.gl_pathc; ++i)
      AddConfigFile(dirs, found.gl_pathv[i], depth + 1);
  globfree(&found);
}

void AddConfigFile(std::vector<std::string> &dirs, const std::string &file, int depth) {
  if (depth > kMaxIncludeDepth)
    return;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string first, second;
    words >> first >> second;
    if (first == "include")
      AddIncluded(dirs, file, second, depth);
    else
      AddDirectory(dirs, first); // also drops "hwcap" lines and blanks
  }
}

// The directories after the executable's own.
std::vector<std::string> OtherDirectories() {
  std::vector<std::string> dirs;
  AddPathList(dirs, getenv("LD_LIBRARY_PATH"));
  AddConfigFile(dirs, kLoaderConfig, 0);
  AddDirectory(dirs, "/lib");
  AddDirectory(dirs, "/usr/lib");
  return dirs;
}

// By identity, not by spelling: "/proc/self/cwd", a link to the current
// directory or its own absolute path all name it.
bool IsCurrentDirectory(const std::string &dir) {
  struct stat here {};
  struct stat there {};
  return stat(".", &here) == 0 && stat(dir.c_str(), &there) == 0 && here.st_dev == there.st_dev &&
         here.st_ino == there.st_ino;
}

Library *Open(const std::string &path) {
  return static_cast<Library *>(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

} // namespace

// The executable's own directory is trusted even when the program was
// started in it; every other one that is the current directory is skipped.
Library *LoadLibraryByName(const char *name) {
  if (name == nullptr || *name == '\0' || std::string(name).find('/') != std::string::npos)
    return nullptr;
  const std::string own = ExecutableDirectory();
  if (!own.empty())
    if (Library *lib = Open(own + name))
      return lib;
  for (const std::string &dir : OtherDirectories())
    if (!IsCurrentDirectory(dir))
      if (Library *lib = Open(dir + name))
        return lib;
  return nullptr;
}

void *LookupEntry(Library *lib, const char *name) {
  if (lib == nullptr)
    return nullptr;
  return dlsym(static_cast<void *>(lib), name);
}

void FreeLibraryHandle(Library *lib) {
  if (lib != nullptr)
    dlclose(static_cast<void *>(lib));
}

} // namespace platform
