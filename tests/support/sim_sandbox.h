// A scratch directory where a program runs against the simulated manager: a
// copy of the program, a build of the manager installed as WNASPI32.DLL, the
// manager's scenario in sim/ (where its transcript lands too), and the
// transcript read back. The directory goes with the sandbox.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

class SimSandbox {
public:
  // A directory named after `prefix`, with a copy of `program` in
  // `programDir` (relative to it).
  SimSandbox(const std::string &prefix, const std::filesystem::path &program,
             const std::filesystem::path &programDir = {});
  ~SimSandbox();
  SimSandbox(const SimSandbox &) = delete;
  SimSandbox &operator=(const SimSandbox &) = delete;

  const std::filesystem::path &Dir() const { return dir_; }
  const std::filesystem::path &Program() const { return program_; }
  std::filesystem::path SimDir() const { return dir_ / "sim"; }
  std::filesystem::path TranscriptPath() const { return SimDir() / "transcript.txt"; }
  // The value of the variable that names the manager's scenario.
  static constexpr const char *ScenarioVariable = "SIMASPI_SCENARIO";
  std::filesystem::path ScenarioPath() const { return SimDir() / "sim.scn"; }

  // Copies the build `variant` of the manager ("" the full one, else the
  // name of its directory beside the full one, as sim-zero) from `builds`,
  // the directory of the full build, into `where` (relative to Dir()).
  void InstallManager(const std::filesystem::path &builds, const std::string &variant,
                      const std::filesystem::path &where = {}) const;
  // The scenario: `directives`, after the line that makes the manager keep
  // its transcript unless `record` is false.
  void WriteScenario(const std::string &directives, bool record = true) const;
  std::vector<std::string> ReadTranscript() const;

private:
  std::filesystem::path dir_;
  std::filesystem::path program_;
};

} // namespace test_support
