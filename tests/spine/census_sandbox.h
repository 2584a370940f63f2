// Runs the census smoke program as its own process, in a sandbox with the
// program and a build of the simulated manager beside it in bin/; the
// sandbox's directory is the current directory.
#pragma once

#include "sim_sandbox.h"
#include "test_support.h"
#include "transcript.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace census {

namespace fs = std::filesystem;

// "" is the full manager; else sim-noinfo, sim-nosend, sim-zero.
struct Sandbox {
  explicit Sandbox(const std::string &variant, bool managerBesideProgram = true)
      : sim(std::string("census-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name(),
            CENSUS_SMOKE_PATH, "bin"),
        dir(sim.Dir()), program(sim.Program()) {
    sim.InstallManager(SIM_DIR, variant, managerBesideProgram ? "bin" : "");
  }

  void Scenario(const std::string &directives) { sim.WriteScenario(directives); }

  // Runs the program; false when it did not end within the time allowed.
  // Boxes come first in `output`, then what the program printed.
  bool Run(const char *argument = nullptr) {
    test_support::SetEnvironment(sim.ScenarioVariable, sim.ScenarioPath().string().c_str());
    const fs::path printed = sim.SimDir() / "stdout.txt";
    const test_support::ChildRun run = test_support::RunChild(program, argument, dir, printed, 60);
    if (!run.finished)
      return false;
    exitCode = run.exitCode;
    output = run.boxes + test_support::ReadFileText(printed);
    std::erase(output, '\r'); // a Windows program's text-mode output ends lines in CR LF
    transcript = sim.ReadTranscript();
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

  test_support::SimSandbox sim;
  const fs::path &dir;     // sim's
  const fs::path &program; // sim's
  int exitCode = -1;
  std::string output;
  std::vector<std::string> transcript;
};

inline std::string Box(const std::string &text) {
  return "== Error ==\n" + text + "\n[OK]\n";
}

} // namespace census
