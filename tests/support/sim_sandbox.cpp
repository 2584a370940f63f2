#include "sim_sandbox.h"

#include "test_support.h"
#include "transcript.h"

#include <fstream>
#include <stdexcept>

namespace test_support {

namespace fs = std::filesystem;

SimSandbox::SimSandbox(const std::string &prefix, const fs::path &program,
                       const fs::path &programDir)
    : dir_(MakeScratchDirectory(prefix)), program_(dir_ / programDir / program.filename()) {
  fs::create_directories(SimDir());
  fs::create_directories(program_.parent_path());
  fs::copy_file(program, program_);
  fs::permissions(program_, fs::perms::owner_all, fs::perm_options::add);
}

SimSandbox::~SimSandbox() {
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
}

void SimSandbox::InstallManager(const fs::path &builds, const std::string &variant,
                                const fs::path &where) const {
  const fs::path build = builds / variant / "WNASPI32.DLL";
  if (!fs::exists(build))
    throw std::runtime_error("simulated manager not built: " + build.string());
  fs::copy_file(build, dir_ / where / "WNASPI32.DLL");
}

void SimSandbox::WriteScenario(const std::string &directives, bool record) const {
  std::ofstream(ScenarioPath(), std::ios::trunc)
      << (record ? "transcript transcript.txt\n" : "") << directives;
}

std::vector<std::string> SimSandbox::ReadTranscript() const {
  return ReadLines(TranscriptPath());
}

} // namespace test_support
