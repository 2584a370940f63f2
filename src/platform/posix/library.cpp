// Shared libraries: the running executable's directory first, then the
// loader's own search. A bare name handed to dlopen never searches the
// current directory, and no "./" form is ever built here.
#include "platform/kernel.h"

#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <string>

namespace platform {

namespace {

std::string ExecutableDirectory() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0)
    return {};
  std::string dir(path, static_cast<std::size_t>(n));
  const std::size_t slash = dir.rfind('/');
  if (slash == std::string::npos)
    return {};
  dir.resize(slash + 1);
  return dir; // absolute, ends in '/'
}

bool HasSlash(const char *name) {
  return std::string(name).find('/') != std::string::npos;
}

} // namespace

Library *LoadLibraryByName(const char *name) {
  if (name == nullptr || *name == '\0')
    return nullptr;
  void *handle = nullptr;
  if (!HasSlash(name)) {
    const std::string dir = ExecutableDirectory();
    if (!dir.empty() && dir[0] == '/')
      handle = dlopen((dir + name).c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr)
    handle = dlopen(name, RTLD_NOW | RTLD_LOCAL);
  return static_cast<Library *>(handle);
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
