// Runs the census smoke program as its own process: a fresh directory with
// the program and a build of the simulated manager beside it in bin/, the
// scenario in the directory itself, which is also the current directory.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace census {

namespace fs = std::filesystem;

// "" is the full manager; else sim-noinfo, sim-nosend, sim-zero.
struct Sandbox {
  explicit Sandbox(const std::string &variant, bool managerBesideProgram = true) {
    dir = fs::temp_directory_path() /
          ("census-" + std::to_string(getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir / "bin");
    fs::copy_file(CENSUS_SMOKE_PATH, dir / "bin" / "census_smoke");
    fs::permissions(dir / "bin" / "census_smoke", fs::perms::owner_all);
    const fs::path manager = fs::path(SIM_DIR) / variant / "WNASPI32.DLL";
    fs::copy_file(manager,
                  managerBesideProgram ? dir / "bin" / "WNASPI32.DLL" : dir / "WNASPI32.DLL");
  }
  ~Sandbox() { fs::remove_all(dir); }

  void Scenario(const std::string &directives) {
    std::ofstream(dir / "simaspi.scn") << "transcript transcript.txt\n" << directives << "\n";
  }

  // Runs the program; false when it did not end within the time allowed.
  bool Run(const char *argument = nullptr) {
    const fs::path out = dir / "stdout.txt";
    const pid_t child = fork();
    if (child == 0) {
      if (chdir(dir.c_str()) != 0)
        _exit(127);
      setenv("SIMASPI_SCENARIO", (dir / "simaspi.scn").c_str(), 1);
      const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int null = open("/dev/null", O_RDONLY);
      dup2(fd, STDOUT_FILENO);
      dup2(null, STDIN_FILENO);
      const std::string program = (dir / "bin" / "census_smoke").string();
      execl(program.c_str(), program.c_str(), argument, static_cast<char *>(nullptr));
      _exit(127);
    }
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(child, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    output = Read(out);
    transcript.clear();
    std::istringstream lines(Read(dir / "transcript.txt"));
    for (std::string line; std::getline(lines, line);)
      transcript.push_back(line);
    return true;
  }

  static std::string Read(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  // Transcript lines of one kind (INFO, HA, GDEV, EXEC).
  std::vector<std::string> Lines(const std::string &kind) const {
    std::vector<std::string> picked;
    for (const std::string &line : transcript)
      if (line.rfind(kind + " ", 0) == 0)
        picked.push_back(line);
    return picked;
  }

  // The census line the program printed for one adapter.
  std::string AdapterLine(unsigned adapter) const {
    std::istringstream lines(output);
    const std::string prefix = "Adapter " + std::to_string(adapter) + " ";
    for (std::string line; std::getline(lines, line);)
      if (line.rfind(prefix, 0) == 0)
        return line;
    return "";
  }

  fs::path dir;
  int exitCode = -1;
  std::string output;
  std::vector<std::string> transcript;
};

inline std::string Box(const std::string &text) {
  return "== Error ==\n" + text + "\n[OK]\n";
}

} // namespace census
