// Runs the census smoke program as its own process: a fresh directory with
// the program and a build of the simulated manager beside it in bin/, the
// scenario in the directory itself, which is also the current directory.
#pragma once

#include "test_support.h"
#include "transcript.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace census {

namespace fs = std::filesystem;

// "" is the full manager; else sim-noinfo, sim-nosend, sim-zero.
struct Sandbox {
  explicit Sandbox(const std::string &variant, bool managerBesideProgram = true) {
    dir = test_support::MakeScratchDirectory(
        std::string("census-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir / "bin");
    program = dir / "bin" / fs::path(CENSUS_SMOKE_PATH).filename();
    fs::copy_file(CENSUS_SMOKE_PATH, program);
    fs::permissions(program, fs::perms::owner_all);
    const fs::path manager = fs::path(SIM_DIR) / variant / "WNASPI32.DLL";
    fs::copy_file(manager,
                  managerBesideProgram ? dir / "bin" / "WNASPI32.DLL" : dir / "WNASPI32.DLL");
  }
  ~Sandbox() { fs::remove_all(dir); }

  void Scenario(const std::string &directives) {
    std::ofstream(dir / "simaspi.scn") << "transcript transcript.txt\n" << directives << "\n";
  }

  // Runs the program; false when it did not end within the time allowed.
  // Boxes come first in `output`, then what the program printed.
  bool Run(const char *argument = nullptr) {
    test_support::SetEnvironment("SIMASPI_SCENARIO", (dir / "simaspi.scn").string().c_str());
    const test_support::ChildRun run =
        test_support::RunChild(program, argument, dir, dir / "stdout.txt", 60);
    if (!run.finished)
      return false;
    exitCode = run.exitCode;
    output = run.boxes + test_support::ReadFileText(dir / "stdout.txt");
    std::erase(output, '\r'); // a Windows program's text-mode output ends lines in CR LF
    transcript = test_support::ReadLines(dir / "transcript.txt");
    return true;
  }

  // Transcript lines of one kind (INFO, HA, GDEV, EXEC).
  std::vector<std::string> Lines(const std::string &kind) const {
    return test_support::LinesOf(transcript, kind);
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
  fs::path program;
  int exitCode = -1;
  std::string output;
  std::vector<std::string> transcript;
};

inline std::string Box(const std::string &text) {
  return "== Error ==\n" + text + "\n[OK]\n";
}

} // namespace census
