#include "os_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

namespace simaspi::os {

FileId OpenReadWrite(const std::string &path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  return fd < 0 ? kNoFile : fd;
}

void CloseFile(FileId file) {
  ::close(static_cast<int>(file));
}

std::int64_t ReadAt(FileId file, std::uint64_t at, std::uint8_t *bytes, std::size_t count) {
  ssize_t n;
  do
    n = ::pread(static_cast<int>(file), bytes, count, static_cast<off_t>(at));
  while (n < 0 && errno == EINTR);
  return n;
}

std::int64_t WriteAt(FileId file, std::uint64_t at, const std::uint8_t *bytes, std::size_t count) {
  ssize_t n;
  do
    n = ::pwrite(static_cast<int>(file), bytes, count, static_cast<off_t>(at));
  while (n < 0 && errno == EINTR);
  return n;
}

std::string LastErrorText() {
  return std::strerror(errno);
}

void CloseEventHandle(std::uintptr_t postProc) {
  if (postProc <= std::uintptr_t{INT_MAX})
    ::close(static_cast<int>(postProc)); // never retried: the number is released even on EINTR
}

} // namespace simaspi::os
