// Test services on POSIX: boxes are printed by the program itself, so the
// watcher has nothing to do. Children are run in posix_child.cpp.
#include "test_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace test_support {

void SetEnvironment(const char *name, const char *value) {
  setenv(name, value, 1);
}

int ProcessId() {
  return static_cast<int>(getpid());
}

bool EmptyStandardInput() {
  return std::freopen("/dev/null", "r", stdin) != nullptr;
}

std::filesystem::path MakeScratchDirectory(const std::string &prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed for " + pattern);
  return pattern;
}

void SignalPostProc(std::uintptr_t postProc) {
  const std::uint64_t one = 1;
  if (write(static_cast<int>(postProc), &one, sizeof one) != static_cast<ssize_t>(sizeof one))
    throw std::runtime_error("eventfd write failed");
}

struct BoxWatcher::State {};
BoxWatcher::BoxWatcher() : state_(nullptr) {}
BoxWatcher::~BoxWatcher() = default;
std::string BoxWatcher::Stop() {
  return {};
}

} // namespace test_support
