#include "disturbances.h"

#include "os_file.h"

#include <csignal>
#include <cstdio>
#include <vector>

namespace simaspi {
namespace {

// A file opened for reading and writing at given offsets; errors as text.
class PositionalFile {
public:
  explicit PositionalFile(const std::string &path) : file_(os::OpenReadWrite(path)) {
    if (file_ == os::kNoFile)
      Fail();
  }
  ~PositionalFile() {
    if (file_ != os::kNoFile)
      os::CloseFile(file_);
  }
  PositionalFile(const PositionalFile &) = delete;
  PositionalFile &operator=(const PositionalFile &) = delete;

  bool Ok() const { return error_.empty(); }
  const std::string &Error() const { return error_; }

  // Bytes read at `at`: 0 at the end of the file or on an error.
  size_t ReadAt(uint64_t at, uint8_t *bytes, size_t count) {
    const std::int64_t n = os::ReadAt(file_, at, bytes, count);
    if (n < 0)
      Fail();
    return n < 0 ? 0 : static_cast<size_t>(n);
  }

  bool WriteAt(uint64_t at, const uint8_t *bytes, size_t count) {
    while (count > 0) {
      const std::int64_t n = os::WriteAt(file_, at, bytes, count);
      if (n <= 0)
        return Fail();
      at += n;
      bytes += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }

private:
  bool Fail() {
    error_ = os::LastErrorText();
    return false;
  }
  os::FileId file_;
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
  if (postProc != 0)
    os::CloseEventHandle(postProc);
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
