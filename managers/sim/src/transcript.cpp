#include "transcript.h"

namespace simaspi {

Transcript::~Transcript() {
  if (file_)
    std::fclose(file_);
}

void Transcript::Open(const std::string &path, bool append) {
  std::lock_guard<std::mutex> lock(mutex_);
  file_ = std::fopen(path.c_str(), append ? "a" : "w");
  if (!file_)
    std::fprintf(stderr, "simaspi: cannot write transcript '%s'\n", path.c_str());
}

void Transcript::Line(const std::string &line) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_)
    return;
  std::fputs(line.c_str(), file_);
  std::fputc('\n', file_);
  std::fflush(file_);
}

std::string Hex(const uint8_t *bytes, size_t count) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    out.push_back(digits[bytes[i] >> 4]);
    out.push_back(digits[bytes[i] & 15]);
  }
  return out;
}

} // namespace simaspi
