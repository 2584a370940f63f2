#include "disturbances.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <vector>
#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace simaspi {
namespace {

// A file opened for reading and writing at given offsets; errors as text.
class PositionalFile {
public:
  explicit PositionalFile(const std::string &path) {
#ifdef _WIN32
    handle_ = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE)
      Fail();
#else
    fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd_ < 0)
      Fail();
#endif
  }
  ~PositionalFile() {
#ifdef _WIN32
    if (handle_ != INVALID_HANDLE_VALUE)
      CloseHandle(handle_);
#else
    if (fd_ >= 0)
      ::close(fd_);
#endif
  }
  PositionalFile(const PositionalFile &) = delete;
  PositionalFile &operator=(const PositionalFile &) = delete;

  bool Ok() const {
    return error_.empty();
  }
  const std::string &Error() const {
    return error_;
  }

  // Bytes read at `at`: 0 at the end of the file or on an error.
  size_t ReadAt(uint64_t at, uint8_t *bytes, size_t count) {
#ifdef _WIN32
    OVERLAPPED where = At(at);
    DWORD n = 0;
    if (!ReadFile(handle_, bytes, static_cast<DWORD>(count), &n, &where)) {
      if (GetLastError() != ERROR_HANDLE_EOF)
        Fail();
      return 0;
    }
    return n;
#else
    ssize_t n;
    do
      n = ::pread(fd_, bytes, count, static_cast<off_t>(at));
    while (n < 0 && errno == EINTR);
    if (n < 0)
      Fail();
    return n < 0 ? 0 : static_cast<size_t>(n);
#endif
  }

  bool WriteAt(uint64_t at, const uint8_t *bytes, size_t count) {
    while (count > 0) {
#ifdef _WIN32
      OVERLAPPED where = At(at);
      DWORD n = 0;
      if (!WriteFile(handle_, bytes, static_cast<DWORD>(count), &n, &where) || n == 0)
        return Fail();
#else
      ssize_t n = ::pwrite(fd_, bytes, count, static_cast<off_t>(at));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        return Fail();
#endif
      at += n;
      bytes += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }

private:
  bool Fail() {
#ifdef _WIN32
    error_ = "error " + std::to_string(GetLastError());
#else
    error_ = std::strerror(errno);
#endif
    return false;
  }
#ifdef _WIN32
  static OVERLAPPED At(uint64_t at) {
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    return where;
  }
  HANDLE handle_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
  std::string error_;
};

// Complements the file chunk by chunk, so that an image of any size costs
// little memory; the error, if any, as text.
std::string ComplementInPlace(const std::string &path) {
  PositionalFile file(path);
  std::vector<uint8_t> chunk(64 * 1024);
  uint64_t at = 0;
  while (file.Ok()) {
    const size_t n = file.ReadAt(at, chunk.data(), chunk.size());
    if (n == 0)
      break;
    for (size_t i = 0; i < n; ++i)
      chunk[i] ^= 0xFF;
    file.WriteAt(at, chunk.data(), n);
    at += n;
  }
  return file.Error();
}

} // namespace

void CloseEvent(uintptr_t postProc) {
  if (postProc == 0)
    return;
#ifdef _WIN32
  CloseHandle(reinterpret_cast<HANDLE>(postProc));
#else
  if (postProc <= uintptr_t{INT_MAX})
    ::close(static_cast<int>(postProc)); // never retried: the number is released even on EINTR
#endif
}

void RaiseSignal(int signal, const std::string &name, Transcript &transcript) {
  transcript.Line("SIGNAL sig=" + name);
  std::raise(signal);
}

void RewriteComplemented(const std::string &path, const std::string &written,
                         Transcript &transcript) {
  const std::string error = ComplementInPlace(path);
  if (error.empty()) {
    transcript.Line("REWRITE path=" + written);
    return;
  }
  std::fprintf(stderr, "simaspi: cannot rewrite '%s': %s\n", path.c_str(), error.c_str());
  transcript.Line("REWRITE path=" + written + " failed");
}

void AppendBlock(const std::string &path, const std::string &written, Transcript &transcript) {
  const std::vector<uint8_t> block(32768, 0x5A);
  std::FILE *file = std::fopen(path.c_str(), "ab");
  const bool appended =
      file != nullptr && std::fwrite(block.data(), 1, block.size(), file) == block.size();
  const bool closed = file != nullptr && std::fclose(file) == 0;
  transcript.Line("GROW path=" + written + (appended && closed ? "" : " failed"));
}

} // namespace simaspi
