// Library loading on Win32 by full path only. A bare name would let the
// loader search the current directory, which holds the downloaded image, and
// SetDllDirectory, which removes it from the search, is missing before
// Windows XP SP1. So the file is found here (library_search.h) and loaded
// from where it was found.
#include "platform/kernel.h"
#include "platform/library_search.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

using GetDirectoryFn = UINT(WINAPI *)(LPSTR, UINT);

std::string Directory(GetDirectoryFn get) {
  char path[MAX_PATH];
  UINT n = get(path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

std::string ExecutableDirectory() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH)
    return {};
  std::string dir(path, n);
  std::size_t slash = dir.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}

std::string Variable(const char *name) {
  DWORD n = GetEnvironmentVariableA(name, nullptr, 0);
  if (n == 0)
    return {};
  std::string value(n, '\0');
  n = GetEnvironmentVariableA(name, value.data(), n);
  value.resize(n < value.size() ? n : 0);
  return value;
}

std::string CurrentDirectory() {
  char path[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
  return n == 0 || n >= MAX_PATH ? std::string() : std::string(path, n);
}

bool HasDirectoryPart(const char *name) {
  for (const char *p = name; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/' || *p == ':')
      return true;
  return false;
}

} // namespace

Library *LoadLibraryByName(const char *name) {
  if (name == nullptr || *name == '\0' || HasDirectoryPart(name))
    return nullptr; // only bare names; a path would bypass the search order
  LibraryPlaces places;
  places.ExecutableDir = ExecutableDirectory();
  places.SystemDir = Directory(GetSystemDirectoryA);
  places.WindowsDir = Directory(GetWindowsDirectoryA);
  places.PathVariable = Variable("PATH");
  places.CurrentDir = CurrentDirectory();
  const std::string file = FindLibraryFile(
      name, places, [](const std::string &path) { return PlainFileExists(path.c_str()); });
  if (file.empty())
    return nullptr;
  return reinterpret_cast<Library *>(LoadLibraryA(file.c_str()));
}

void *LookupEntry(Library *lib, const char *name) {
  if (lib == nullptr)
    return nullptr;
  return reinterpret_cast<void *>(GetProcAddress(reinterpret_cast<HMODULE>(lib), name));
}

void FreeLibraryHandle(Library *lib) {
  if (lib != nullptr)
    FreeLibrary(reinterpret_cast<HMODULE>(lib));
}

} // namespace platform
