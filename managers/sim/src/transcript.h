// One line per call received, flushed at once so that a test reading the
// file sees every call that has been answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

namespace simaspi {

class Transcript {
public:
  Transcript() = default;
  Transcript(const Transcript &) = delete;
  Transcript &operator=(const Transcript &) = delete;
  ~Transcript();

  void Open(const std::string &path, bool append);
  void Line(const std::string &line);

private:
  std::mutex mutex_;
  std::FILE *file_ = nullptr;
};

// Lower-case hex of the bytes, no separators.
std::string Hex(const uint8_t *bytes, size_t count);

} // namespace simaspi
