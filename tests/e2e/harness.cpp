#include "harness.h"

#include "posix_child.h"
#include "transcript.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {

std::int64_t MtimeNs(const fs::path &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    return -1;
  }
  return std::int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec;
}

// Back-dates an image so that a write by the program would move its mtime.
void BackDate(const fs::path &path) {
  struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, path.c_str(), times, 0);
}

// The directory of the manager's build beside the full one.
const char *VariantOf(Manager manager) {
  switch (manager) {
  case Manager::NoInfo:
    return "sim-noinfo";
  case Manager::NoSend:
    return "sim-nosend";
  case Manager::Zero:
    return "sim-zero";
  case Manager::Full:
  case Manager::Missing:
    break;
  }
  return "";
}

// Every path under `root`, relative to it, except those under `skipped`.
std::set<fs::path> FilesUnder(const fs::path &root, const fs::path &skipped) {
  std::set<fs::path> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->path() == skipped) {
      it.disable_recursion_pending();
      continue;
    }
    files.insert(it->path().lexically_relative(root)); // a link as itself
  }
  return files;
}

void ChownTree(const fs::path &root, uid_t uid, gid_t gid) {
  if (::chown(root.c_str(), uid, gid) != 0) {
    ADD_FAILURE() << "chown " << root << ": " << std::strerror(errno);
  }
  for (const auto &entry : fs::recursive_directory_iterator(root)) {
    if (::lchown(entry.path().c_str(), uid, gid) != 0) {
      ADD_FAILURE() << "chown " << entry.path() << ": " << std::strerror(errno);
    }
  }
}

} // namespace

std::vector<std::uint8_t> ImageBytes(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t x = seed * 2654435761u + 12345u;
  for (auto &b : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x >> 24);
  }
  return bytes;
}

std::vector<std::uint8_t> ReadBytes(const fs::path &path) {
  const std::string text = test_support::ReadFileText(path);
  return {text.begin(), text.end()};
}

std::string Drive(int adapter, int target, const std::string &vendor, const std::string &product,
                  const std::string &revision, int type) {
  std::ostringstream s;
  s << "device " << adapter << ' ' << target << " type " << type << '\n'
    << "drive " << adapter << ' ' << target << " vendor \"" << vendor << "\" product \"" << product
    << "\" revision \"" << revision << "\"\n";
  return s.str();
}

std::string W6216TDrive() {
  return Drive(0, 1, "QUILMAR ", "CD-R   QM-W6216T") + "drive 0 1 memory 74 hex:05112233\n";
}

std::string ProgrammingModeDrive() {
  return Drive(0, 1, "QUILMAR ", "Program Mode1   ");
}

bool Shows(const RunResult &run, const std::string &text) {
  return run.Out.find(text) != std::string::npos || run.Err.find(text) != std::string::npos;
}

std::size_t CountOf(const RunResult &run, const std::string &text) {
  std::size_t count = 0;
  for (const std::string *s : {&run.Out, &run.Err}) {
    for (auto at = s->find(text); at != std::string::npos; at = s->find(text, at + 1)) {
      ++count;
    }
  }
  return count;
}

bool InOrder(const RunResult &run, std::initializer_list<std::string> texts) {
  std::size_t at = 0;
  for (const auto &text : texts) {
    const auto found = run.Out.find(text, at);
    if (found == std::string::npos) {
      return false;
    }
    at = found + text.size();
  }
  return true;
}

std::string Window(const std::string &caption) {
  return "=== window: " + caption + " ===\n";
}

std::string LabelLine(const char *label, const std::string &text) {
  return "\n" + std::string(label) + ": " + text + "\n";
}

std::string Progress(const char *label, const std::string &text) {
  return "Form1." + std::string(label) + ": " + text + "\n";
}

std::string ErrorBox(const std::string &text) {
  return "=== Error ===\n" + text + "\n[OK]\n";
}

std::string InfoBox(const std::string &text) {
  return "=== Information ===\n" + text + "\n[OK]\n";
}

std::string SystemBox(const std::string &caption, const std::string &text) {
  return "== " + caption + " ==\n" + text + "\n[OK]\n";
}

std::string AppTitleLine(const std::string &title) {
  return "=== application title: " + title + " ===\n";
}

std::vector<std::string> Ops(std::initializer_list<const char *> opcodes) {
  return {opcodes.begin(), opcodes.end()};
}

bool CanRunAsOtherUser() {
  return ::geteuid() == 0 && test_support::FindAccount("nobody").has_value();
}

Sandbox::Sandbox(Manager manager) : sim_("fwupd32-e2e", FWUPD32_PATH) {
  if (manager != Manager::Missing) {
    sim_.InstallManager(SIM_MANAGER_DIR, VariantOf(manager));
  }
  WriteScenario("adapters 0\n");
}

void Sandbox::WriteImage(const std::string &name, const std::vector<std::uint8_t> &bytes) {
  const fs::path path = Dir() / name;
  fs::create_directories(path.parent_path());
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  BackDate(path);
  images_.push_back({path, bytes, MtimeNs(path)});
}

void Sandbox::Launch(std::vector<std::string> args, const fs::path &cwd) {
  const fs::path libexec = Dir() / "libexec" / "fwupd32";
  fs::create_directories(libexec);
  fs::create_directories(Dir() / "bin");
  fs::copy_file(LAUNCHER_PATH, Dir() / "bin" / "fwupd32", fs::copy_options::overwrite_existing);
  fs::permissions(Dir() / "bin" / "fwupd32", fs::perms::owner_all | fs::perms::group_read |
                                                 fs::perms::group_exec | fs::perms::others_read |
                                                 fs::perms::others_exec);
  for (const char *file : {"fwupd32", "WNASPI32.DLL"}) {
    if (fs::exists(Dir() / file)) {
      fs::copy_file(Dir() / file, libexec / file, fs::copy_options::overwrite_existing);
    }
  }
  launcher_ = true;
  args_ = std::move(args);
  cwd_ = cwd;
}

void Sandbox::WriteScenario(const std::string &directives, bool record) {
  sim_.WriteScenario(std::string(record ? "result out/\n" : "") + directives, record);
}

void Sandbox::ExpectManagerRaces() {
  const char *given = std::getenv("TSAN_OPTIONS");
  AddEnvironment(std::string("TSAN_OPTIONS=") + (given != nullptr ? std::string(given) + ":" : "") +
                 "suppressions=" + MANAGER_RACES_SUPPRESSIONS);
}

void Sandbox::ShortenWaits(unsigned ms) {
  fs::copy_file(FWUPD32_TESTING_PATH, sim_.Program(), fs::copy_options::overwrite_existing);
  AddEnvironment("FWUPD_TEST_WAIT_LIMIT_MS=" + std::to_string(ms));
}

void Sandbox::PreloadShim() {
  AddEnvironment(std::string("LD_PRELOAD=") + FAILREAD_PATH);
  // The shim loads ahead of a sanitizer runtime; tell the runtime that is fine.
  const char *asan = std::getenv("ASAN_OPTIONS");
  AddEnvironment(std::string("ASAN_OPTIONS=") + (asan != nullptr ? std::string(asan) + ":" : "") +
                 "verify_asan_link_order=0");
}

void Sandbox::FailImageRead(int nth, const char *mode) {
  PreloadShim();
  AddEnvironment("FAILREAD_AT=" + std::to_string(nth));
  AddEnvironment(std::string("FAILREAD_MODE=") + mode);
}

void Sandbox::HideNullDevice() {
  PreloadShim();
  AddEnvironment("FAILREAD_NO_DEVNULL=1");
}

void Sandbox::WriteSparseImage(const std::string &name, std::int64_t size) {
  const fs::path path = Dir() / name;
  std::ofstream(path, std::ios::binary | std::ios::trunc).close();
  fs::resize_file(path, static_cast<std::uintmax_t>(size));
  BackDate(path);
  images_.push_back({path, {}, MtimeNs(path), size});
}

void Sandbox::ForgetImage(const std::string &name) {
  std::erase_if(images_, [&](const ImageStamp &image) { return image.Path == Dir() / name; });
}

void Sandbox::RestampImage(const std::string &name) {
  for (auto &image : images_) {
    if (image.Path == Dir() / name) {
      image.Bytes = ReadBytes(image.Path);
      image.MtimeNs = MtimeNs(image.Path);
    }
  }
}

void ExpectOneRequestAtATime(const RunResult &run) {
  bool outstanding = false;
  std::string last;
  for (const auto &line : run.Transcript) {
    if (line.rfind("EXEC ", 0) == 0) {
      const std::string cdb = test_support::FieldOf(line, "cdb");
      EXPECT_TRUE(!outstanding || cdb == last)
          << "request submitted while another was outstanding: " << line;
      outstanding = true;
      last = cdb;
    } else if (line.rfind("DONE ", 0) == 0) {
      outstanding = false;
    }
  }
}

bool AwaitExec(const fs::path &transcript, const std::string &op, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    std::size_t seen = 0;
    for (const auto &line : test_support::ReadLines(transcript)) {
      if (line.rfind("EXEC ", 0) == 0 && test_support::FieldOf(line, "cdb").rfind(op, 0) == 0) {
        ++seen;
      }
    }
    if (seen >= count) {
      return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

std::string Sandbox::DriveFile(int adapter, int target, const char *suffix) const {
  return test_support::ReadFileText(ResultDir() / ("drive-" + std::to_string(adapter) + "-" +
                                                   std::to_string(target) + "." + suffix));
}

bool Sandbox::HasDriveFile(int adapter, int target, const char *suffix) const {
  return fs::exists(ResultDir() / ("drive-" + std::to_string(adapter) + "-" +
                                   std::to_string(target) + "." + suffix));
}

void Sandbox::CheckImagesUnchanged() const {
  for (const auto &image : images_) {
    if (image.SparseSize >= 0) {
      EXPECT_EQ(static_cast<std::int64_t>(fs::file_size(image.Path)), image.SparseSize);
    } else {
      EXPECT_EQ(ReadBytes(image.Path), image.Bytes) << image.Path << " content changed";
    }
    EXPECT_EQ(MtimeNs(image.Path), image.MtimeNs) << image.Path << " modification time changed";
  }
}

// Over ours: the scenario, the console and a temporary directory inside the
// sandbox, then the case's own entries, which may replace them.
std::vector<std::string> Sandbox::Environment() const {
  std::vector<std::string> env{std::string(sim_.ScenarioVariable) + "=" +
                                   sim_.ScenarioPath().string(),
                               "FWUPD_TOOLKIT=console", "TMPDIR=" + (Dir() / "tmp").string()};
  env.insert(env.end(), extraEnv_.begin(), extraEnv_.end());
  return env;
}

RunResult Sandbox::Run(const char *user) {
  RunResult result;
  std::error_code ignored;
  fs::remove(sim_.TranscriptPath(), ignored);
  fs::remove_all(ResultDir(), ignored);
  fs::create_directories(ResultDir());
  fs::create_directories(Dir() / "tmp");
  const std::set<fs::path> filesBefore = FilesUnder(Dir(), sim_.SimDir());

  test_support::PosixChild child;
  child.program = launcher_ ? Dir() / "bin" / "fwupd32" : sim_.Program();
  child.arguments = args_;
  child.directory = Dir() / cwd_;
  child.output = sim_.SimDir() / "stdout.txt";
  child.errors = sim_.SimDir() / "stderr.txt";
  child.environment = Environment();
  child.unset = {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}; // a case sets its own
  child.closedAtStart = closed_;
  if (whileRunning_) {
    child.whileRunning = [this](pid_t pid) {
      pid_ = pid;
      whileRunning_(sim_.TranscriptPath());
    };
  }
  if (user != nullptr) {
    child.account = test_support::FindAccount(user);
    if (!child.account) {
      ADD_FAILURE() << "no user " << user;
      return result;
    }
    ChownTree(Dir(), child.account->uid, child.account->gid);
    ::chmod(Dir().c_str(), 0755);
  }

  const test_support::ChildRun run = test_support::RunPosixChild(child);
  pid_ = 0;
  result.TimedOut = !run.finished;
  result.ExitCode = run.exitCode;
  result.Signal = run.signal;
  if (user != nullptr) {
    ChownTree(Dir(), ::geteuid(), ::getegid());
  }

  result.Out = test_support::ReadFileText(child.output);
  result.Err = test_support::ReadFileText(child.errors);
  result.Transcript = sim_.ReadTranscript();
  for (const auto &line : result.Transcript) {
    if (line.rfind("EXEC ", 0) == 0) {
      const std::string cdb = test_support::FieldOf(line, "cdb");
      result.Exec.push_back(cdb);
      result.Opcodes.push_back(cdb.substr(0, 2));
    }
  }
  EXPECT_FALSE(result.TimedOut) << "fwupd32 did not end; output:\n" << result.Out;
  CheckImagesUnchanged();
  for (const fs::path &file : FilesUnder(Dir(), sim_.SimDir())) {
    EXPECT_TRUE(filesBefore.count(file) != 0) << "the run left " << file;
  }
  return result;
}

} // namespace e2e
