// Operating-system services for the tests themselves, so that the same test
// runs natively and as a Windows program under Wine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace test_support {

void SetEnvironment(const char *name, const char *value);
int ProcessId();
bool EmptyStandardInput(); // reopens standard input on the null device

// A new, empty directory under the temporary directory.
std::filesystem::path MakeScratchDirectory(const std::string &prefix);

// Signals an event the way a manager does, from the value it was given in
// SRB_PostProc.
void SignalPostProc(std::uintptr_t postProc);

// Message boxes shown by this process while a watcher lives are read and
// dismissed with OK, and recorded as the console backend prints them:
// "== caption ==\ntext\n[OK]\n". Without system boxes (POSIX) a box is
// printed on standard output instead and the watcher records nothing.
class BoxWatcher {
public:
  BoxWatcher();
  ~BoxWatcher();
  BoxWatcher(const BoxWatcher &) = delete;
  BoxWatcher &operator=(const BoxWatcher &) = delete;
  std::string Stop(); // the boxes seen, in order

private:
  struct State;
  State *state_;
};

struct ChildRun {
  bool finished = false; // false: killed after the time allowed
  int exitCode = -1;     // -1 when it did not exit
  int signal = 0;        // POSIX: the signal that ended it, if one did
  std::string boxes;     // as BoxWatcher records them
};

// Runs `program` with one optional argument in `directory`, standard input
// empty and standard output written to `output`.
ChildRun RunChild(const std::filesystem::path &program, const char *argument,
                  const std::filesystem::path &directory, const std::filesystem::path &output,
                  int timeoutSeconds);

} // namespace test_support
