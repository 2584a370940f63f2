#include "os_file.h"

#include <windows.h>

namespace simaspi::os {
namespace {

HANDLE HandleOf(FileId file) {
  return reinterpret_cast<HANDLE>(file);
}

OVERLAPPED At(std::uint64_t at) {
  OVERLAPPED where{};
  where.Offset = static_cast<DWORD>(at);
  where.OffsetHigh = static_cast<DWORD>(at >> 32);
  return where;
}

} // namespace

FileId OpenReadWrite(const std::string &path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<FileId>(handle); // INVALID_HANDLE_VALUE is kNoFile
}

void CloseFile(FileId file) {
  CloseHandle(HandleOf(file));
}

std::int64_t ReadAt(FileId file, std::uint64_t at, std::uint8_t *bytes, std::size_t count) {
  OVERLAPPED where = At(at);
  DWORD n = 0;
  if (!ReadFile(HandleOf(file), bytes, static_cast<DWORD>(count), &n, &where))
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  return n;
}

std::int64_t WriteAt(FileId file, std::uint64_t at, const std::uint8_t *bytes, std::size_t count) {
  OVERLAPPED where = At(at);
  DWORD n = 0;
  if (!WriteFile(HandleOf(file), bytes, static_cast<DWORD>(count), &n, &where))
    return -1;
  return n;
}

std::string LastErrorText() {
  return "error " + std::to_string(GetLastError());
}

void CloseEventHandle(std::uintptr_t postProc) {
  CloseHandle(reinterpret_cast<HANDLE>(postProc));
}

} // namespace simaspi::os
