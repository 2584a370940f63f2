#include "sim_drives.h"

#include "test_support.h"
#include "transcript.h"
#include "wnaspi95/wnaspi95.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace cmdtest {

namespace {

std::string DrivePath(const std::string &dir, int adapter, int target, const char *suffix) {
  return dir + "/out/drive-" + std::to_string(adapter) + "-" + std::to_string(target) + suffix;
}

} // namespace

SimDrives::SimDrives(const std::string &scenario) {
  dir_ = test_support::MakeScratchDirectory("fwcmdtest").string();
  std::filesystem::create_directory(dir_ + "/out");
  std::ofstream(dir_ + "/scenario.scn") << "transcript transcript.txt\nresult out/\n" << scenario;
  test_support::SetEnvironment("SIMASPI_SCENARIO", (dir_ + "/scenario.scn").c_str());
  wnaspi95_test::ResetBinding(); // the manager reads its scenario when it is loaded
  bound_ = InitAspi(true);
}

SimDrives::~SimDrives() {
  wnaspi95_test::ResetBinding();
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::vector<Fields> SimDrives::Execs() const {
  std::vector<Fields> execs;
  for (const std::string &line :
       test_support::LinesOf(test_support::ReadLines(dir_ + "/transcript.txt"), "EXEC")) {
    execs.push_back(test_support::FieldsOf(line));
  }
  return execs;
}

std::vector<std::uint8_t> SimDrives::Firmware(int adapter, int target) const {
  const std::string bytes =
      test_support::ReadFileText(DrivePath(dir_, adapter, target, ".firmware"));
  return {bytes.begin(), bytes.end()};
}

std::string SimDrives::Memory(int adapter, int target) const {
  return test_support::ReadFileText(DrivePath(dir_, adapter, target, ".memory"));
}

std::string Hex(const std::uint8_t *bytes, std::size_t count) {
  std::string text;
  char two[3];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(two, sizeof two, "%02x", bytes[i]);
    text += two;
  }
  return text;
}

std::string Hex(const std::vector<std::uint8_t> &bytes) {
  return Hex(bytes.data(), bytes.size());
}

} // namespace cmdtest
