// Shared libraries, loaded by full path only. The directories, in order: the
// running executable's, the absolute entries of LD_LIBRARY_PATH, those the
// loader's configuration lists (/etc/ld.so.conf and what it includes), then
// /lib and /usr/lib. A bare name handed to dlopen would also take relative
// entries of LD_LIBRARY_PATH ("." or an empty entry: the current directory),
// so the loader's own search is never used; an absolute entry that is the
// current directory under another name, lies below it, or leads through
// /proc's view of a current directory is skipped too.
#include "platform/kernel.h"

#include <dlfcn.h>
#include <glob.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace platform {

namespace {

constexpr const char *kLoaderConfig = "/etc/ld.so.conf";
constexpr int kMaxIncludeDepth = 4;
constexpr int kMaxLinks = 40; // as the kernel's own limit

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

// A process's current directory as /proc shows it: /proc/self/cwd,
// /proc/<pid>/cwd, /proc/<pid>/task/<tid>/cwd.
bool IsProcCwd(const std::string &path) {
  return path.rfind("/proc/", 0) == 0 && path.size() > 4 &&
         path.compare(path.size() - 4, 4, "/cwd") == 0;
}

// Whether the path, followed link by link as the kernel follows it, passes
// through a current directory of /proc: "/proc/self/cwd/.." leads out of
// the current directory, but from wherever the program was started.
bool ThroughProcCwd(const std::string &path) {
  std::deque<std::string> rest;
  const auto pushFront = [&rest](const std::string &text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, '/');)
      parts.push_back(part);
    rest.insert(rest.begin(), parts.begin(), parts.end());
  };
  pushFront(path);
  std::string at; // resolved so far; empty is the root
  for (int links = 0; !rest.empty();) {
    const std::string part = rest.front();
    rest.pop_front();
    if (part.empty() || part == ".")
      continue;
    if (part == "..") {
      at.resize(at.empty() ? 0 : at.rfind('/'));
      continue;
    }
    const std::string next = at + "/" + part;
    if (IsProcCwd(next))
      return true;
    char target[PATH_MAX];
    const ssize_t n = readlink(next.c_str(), target, sizeof target - 1);
    if (n <= 0) {
      at = next;
      continue;
    }
    if (++links > kMaxLinks)
      return true; // a loop: nothing to load from there
    const std::string link(target, static_cast<std::size_t>(n));
    if (link[0] == '/')
      at.clear();
    pushFront(link);
  }
  return false;
}

// The current directory or one below it, by identity and by resolved path:
// a link to it, its own absolute path, a directory inside it.
bool InCurrentDirectory(const std::string &dir) {
  struct stat here {};
  struct stat there {};
  if (stat(".", &here) == 0 && stat(dir.c_str(), &there) == 0 && here.st_dev == there.st_dev &&
      here.st_ino == there.st_ino)
    return true;
  char current[PATH_MAX], resolved[PATH_MAX];
  if (realpath(".", current) == nullptr || realpath(dir.c_str(), resolved) == nullptr)
    return false;
  const std::string base = std::string(current) == "/" ? "/" : std::string(current) + "/";
  return std::string(resolved) + "/" == base || std::string(resolved).rfind(base, 0) == 0;
}

bool ReachesCurrentDirectory(const std::string &dir) {
  return ThroughProcCwd(dir) || InCurrentDirectory(dir);
}

Library *Open(const std::string &path) {
  return static_cast<Library *>(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

} // namespace

// The executable's own directory is trusted even when the program was
// started in it; every other one that reaches the current directory is
// skipped.
Library *LoadLibraryByName(const char *name) {
  if (name == nullptr || *name == '\0' || std::string(name).find('/') != std::string::npos)
    return nullptr;
  const std::string own = ExecutableDirectory();
  if (!own.empty())
    if (Library *lib = Open(own + name))
      return lib;
  for (const std::string &dir : OtherDirectories())
    if (!ReachesCurrentDirectory(dir))
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
