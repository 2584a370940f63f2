// Library loading on Win32. The current directory holds the downloaded image
// and must never supply a DLL, so it is taken out of the loader's search
// before the first load; the executable's own directory is tried first.
#include "platform/kernel.h"

#include <windows.h>

#include <string>

namespace platform {
namespace {

using SetDefaultDllDirectoriesFn = BOOL(WINAPI *)(DWORD);

void RemoveCurrentDirectoryFromSearch() {
  static bool done = false;
  if (done)
    return;
  done = true;
  SetDllDirectoryA(""); // drops the current directory from the classic order
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  if (kernel == nullptr)
    return;
  // Present from Windows 7 with its loader update; absent on older systems.
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void *>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr)
    setDefault(LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
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

bool HasDirectoryPart(const char *name) {
  for (const char *p = name; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/' || *p == ':')
      return true;
  return false;
}

} // namespace

Library *LoadLibraryByName(const char *name) {
  RemoveCurrentDirectoryFromSearch();
  HMODULE module = nullptr;
  if (!HasDirectoryPart(name)) {
    std::string dir = ExecutableDirectory();
    if (!dir.empty())
      module = LoadLibraryA((dir + name).c_str());
  }
  if (module == nullptr)
    module = LoadLibraryA(name);
  return reinterpret_cast<Library *>(module);
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
