#include "sim_drives.h"

#include "test_support.h"
#include "wnaspi95/wnaspi95.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace cmdtest {

namespace {

std::string ReadWhole(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

Fields SplitFields(const std::string &line) {
  Fields fields;
  std::istringstream words(line);
  std::string word;
  while (words >> word) {
    const std::size_t eq = word.find('=');
    if (eq != std::string::npos) {
      fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
  }
  // `out=` may be empty and then is not followed by a word.
  fields.try_emplace("out", "");
  return fields;
}

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
  std::istringstream lines(ReadWhole(dir_ + "/transcript.txt"));
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("EXEC ", 0) == 0) {
      execs.push_back(SplitFields(line));
    }
  }
  return execs;
}

std::vector<std::uint8_t> SimDrives::Firmware(int adapter, int target) const {
  const std::string bytes = ReadWhole(DrivePath(dir_, adapter, target, ".firmware"));
  return {bytes.begin(), bytes.end()};
}

std::string SimDrives::Memory(int adapter, int target) const {
  return ReadWhole(DrivePath(dir_, adapter, target, ".memory"));
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
