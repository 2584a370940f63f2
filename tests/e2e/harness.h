// Runs the real fwupd32 binary as a separate process in a fresh directory
// that holds the image files, a copy of the program and the simulated manager
// beside it as WNASPI32.DLL, and reads back what the manager recorded. Every
// run must leave the directory's files as they were: no image changed and
// nothing new (the temporary directory of the run lies inside it too).
#pragma once

#include "sim_sandbox.h"

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// Which build of the simulated manager is installed beside the program.
enum class Manager { Full, NoInfo, NoSend, Zero, Missing };

struct RunResult {
  int ExitCode = -1; // -1 when the child did not exit normally
  int Signal = 0;    // the signal that ended the child, if one did
  bool TimedOut = false;
  std::string Out; // the console backend's output
  std::string Err;
  std::vector<std::string> Transcript; // every line the manager wrote
  std::vector<std::string> Exec;       // the cdb of every EXEC line, lower-case hex
  std::vector<std::string> Opcodes;    // the first cdb byte of every EXEC line
};

class Sandbox {
public:
  explicit Sandbox(Manager manager = Manager::Full);

  const fs::path &Dir() const { return sim_.Dir(); }
  fs::path ResultDir() const { return sim_.SimDir() / "out"; }

  // `name` is relative to Dir() and may lead through directories, made as needed.
  void WriteImage(const std::string &name, const std::vector<std::uint8_t> &bytes);
  // A sparse image of `size` zero bytes; checked afterwards by size and time.
  void WriteSparseImage(const std::string &name, std::int64_t size);
  // Takes the image's present content and time as what the run must leave,
  // for a test that changes the image itself while the program runs.
  void RestampImage(const std::string &name);
  // No longer checks the image: the case replaces it by something else.
  void ForgetImage(const std::string &name);
  // Directives after the transcript and result lines that every run gets,
  // unless `record` is false: then the manager opens no file of its own.
  void WriteScenario(const std::string &directives, bool record = true);
  // Extra NAME=value entries for the program's environment.
  void AddEnvironment(const std::string &entry) { extraEnv_.push_back(entry); }
  // The manager completes requests twice on purpose: ThreadSanitizer is told
  // that its late writes into memory the program has left are expected.
  void ExpectManagerRaces();
  // Runs the program's build with test hooks, whose completion waits give up
  // after `ms` instead of minutes.
  void ShortenWaits(unsigned ms);
  // Preloads the read-failing shim: the `nth` read of the image fails ("eio")
  // or finds the end of the file ("eof").
  void FailImageRead(int nth, const char *mode);
  // The null device cannot be opened (a bare chroot or container).
  void HideNullDevice();
  // The program starts with this standard descriptor (0, 1 or 2) closed.
  void CloseAtStart(int fd) { closed_.push_back(fd); }
  // Called on a thread of the test while the program runs, with the path of
  // the manager's transcript; returns before the program is waited for.
  void WhileRunning(std::function<void(const fs::path &transcript)> action) {
    whileRunning_ = std::move(action);
  }
  // The running program's process id (0 when none runs), for WhileRunning.
  int ProgramPid() const { return pid_; }
  // Runs the package's launcher instead of the program: bin/fwupd32 of a
  // tree whose libexec/fwupd32 holds the program and the manager, with these
  // arguments, in `cwd` (relative to Dir()).
  void Launch(std::vector<std::string> args, const fs::path &cwd = {});
  // Runs the program; as `user` (an account name) when running as root.
  RunResult Run(const char *user = nullptr);

  // drive-A-T.firmware, .memory, .state of the result directory ("" if absent).
  std::string DriveFile(int adapter, int target, const char *suffix) const;
  bool HasDriveFile(int adapter, int target, const char *suffix) const;

private:
  struct ImageStamp {
    fs::path Path;
    std::vector<std::uint8_t> Bytes;
    std::int64_t MtimeNs;
    std::int64_t SparseSize = -1; // a sparse image: its size instead of its bytes
  };
  void CheckImagesUnchanged() const;
  void PreloadShim();
  std::vector<std::string> Environment() const;

  test_support::SimSandbox sim_;
  std::vector<ImageStamp> images_;
  std::vector<std::string> extraEnv_;
  std::vector<int> closed_;
  bool launcher_ = false;
  std::vector<std::string> args_;
  fs::path cwd_;
  std::function<void(const fs::path &)> whileRunning_;
  std::atomic<int> pid_{0};
};

// Waits (at most 30 s) until the transcript holds `count` EXEC lines whose
// command starts with the opcode `op` (two hex digits); false on time-out.
// Every EXEC is followed by its DONE before another command is submitted
// (a busy answer's retry resends the same block).
void ExpectOneRequestAtATime(const RunResult &run);

bool AwaitExec(const fs::path &transcript, const std::string &op, std::size_t count);

// Pseudo-random image bytes, the same for the same size and seed.
std::vector<std::uint8_t> ImageBytes(std::size_t size, std::uint32_t seed = 1);
std::vector<std::uint8_t> ReadBytes(const fs::path &path);

// A scenario fragment: one adapter census entry and one drive answering EXEC.
std::string Drive(int adapter, int target, const std::string &vendor, const std::string &product,
                  const std::string &revision = "1.0A", int type = 5);

// The drives most cases update, at adapter 0 target 1: the QM-W6216T (row
// FIRM6216.ROM) with drive settings that pass its check, and a drive in
// programming mode (row FIRM206.ROM).
std::string W6216TDrive();
std::string ProgrammingModeDrive();

bool CanRunAsOtherUser();

// True when the run's console output (or error output) carries the text.
bool Shows(const RunResult &run, const std::string &text);
std::size_t CountOf(const RunResult &run, const std::string &text);
// True when every text appears in the console output, each after the one before.
bool InOrder(const RunResult &run, std::initializer_list<std::string> texts);
// The console backend's renderings of what the program shows.
std::string Window(const std::string &caption);                    // a window block's first line
std::string LabelLine(const char *label, const std::string &text); // a line in a window block
std::string Progress(const char *label, const std::string &text);  // a Form1 label change
std::string ErrorBox(const std::string &text);
std::string InfoBox(const std::string &text);
std::string SystemBox(const std::string &caption, const std::string &text);
std::string AppTitleLine(const std::string &title);
std::vector<std::string> Ops(std::initializer_list<const char *> opcodes);

} // namespace e2e
