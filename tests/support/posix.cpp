// Test services on POSIX: boxes are printed by the program itself, so the
// watcher has nothing to do.
#include "test_support.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

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

ChildRun RunChild(const std::filesystem::path &program, const char *argument,
                  const std::filesystem::path &directory, const std::filesystem::path &output,
                  int timeoutSeconds) {
  const std::string path = program.string();
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(directory.c_str()) != 0)
      _exit(127);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int null = open("/dev/null", O_RDONLY);
    dup2(out, STDOUT_FILENO);
    dup2(null, STDIN_FILENO);
    execl(path.c_str(), path.c_str(), argument, static_cast<char *>(nullptr));
    _exit(127);
  }
  ChildRun run;
  if (child < 0)
    return run;
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  pid_t ended = 0;
  while ((ended = waitpid(child, &status, WNOHANG)) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended != child)
    return run;
  run.finished = true;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

} // namespace test_support
