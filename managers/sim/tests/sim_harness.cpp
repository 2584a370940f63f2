#include "sim_harness.h"

#include "test_support.h"
#include "transcript.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace simtest {

SimRun::SimRun(const std::string &scenario, const std::string &variant) {
  dir_ = test_support::MakeScratchDirectory("simaspi-test").string();
  std::ofstream(dir_ + "/simaspi.scn") << scenario;
  // A private copy is a fresh instance of the library, whatever was loaded before.
  std::string source =
      std::string(SIMASPI_DIR) + (variant.empty() ? "" : "/" + variant) + "/WNASPI32.DLL";
  fs::copy_file(source, dir_ + "/WNASPI32.DLL");
  handle_ = dlopen((dir_ + "/WNASPI32.DLL").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    ADD_FAILURE() << "dlopen: " << dlerror();
    return;
  }
  getInfo = reinterpret_cast<GetInfoFn>(dlsym(handle_, "GetASPI32SupportInfo"));
  send = reinterpret_cast<SendFn>(dlsym(handle_, "SendASPI32Command"));
}

SimRun::~SimRun() {
  if (handle_)
    dlclose(handle_);
  if (!dir_.empty() && !std::getenv("SIMASPI_KEEP"))
    fs::remove_all(dir_);
}

std::vector<std::string> SimRun::Transcript() const {
  return test_support::ReadLines(dir_ + "/transcript.txt");
}

std::vector<std::string> SimRun::TranscriptOf(size_t lines) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  auto text = Transcript();
  while (text.size() < lines && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    text = Transcript();
  }
  return text;
}

std::string SimRun::ReadText(const std::string &relative) const {
  return test_support::ReadFileText(dir_ + "/" + relative);
}

std::vector<uint8_t> SimRun::ReadBytes(const std::string &relative) const {
  return Bytes(ReadText(relative));
}

bool SimRun::Exists(const std::string &relative) const {
  return fs::exists(dir_ + "/" + relative);
}

std::vector<uint8_t> HaBlock(uint8_t ha) {
  std::vector<uint8_t> b(60, 0);
  b[0] = 0;
  b[2] = ha;
  return b;
}

std::vector<uint8_t> GdevBlock(uint8_t ha, uint8_t target) {
  std::vector<uint8_t> b(27, 0);
  b[0] = 1;
  b[2] = ha;
  b[8] = target;
  return b;
}

std::vector<uint8_t> ExecBlock(uint8_t ha, uint8_t target, uint8_t flags,
                               const std::vector<uint8_t> &cdb, void *buffer, uint32_t bufLen,
                               uintptr_t postProc) {
  std::vector<uint8_t> b(kExecSize, 0);
  b[0] = 2;
  b[2] = ha;
  b[3] = flags;
  b[8] = target;
  std::memcpy(&b[12], &bufLen, 4);
  uintptr_t ptr = reinterpret_cast<uintptr_t>(buffer);
  std::memcpy(&b[16], &ptr, sizeof ptr);
  b[kSenseLenOff] = 32;
  b[kCdbLenOff] = static_cast<uint8_t>(cdb.size());
  std::memcpy(&b[kPostProcOff], &postProc, sizeof postProc);
  std::memcpy(&b[kCdbOff], cdb.data(), cdb.size());
  return b;
}

uint8_t StatusOf(const std::vector<uint8_t> &block) {
  return __atomic_load_n(&block[1], __ATOMIC_ACQUIRE);
}

uint8_t WaitForStatus(const std::vector<uint8_t> &block) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (StatusOf(block) == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return StatusOf(block);
}

std::vector<uint8_t> Bytes(const std::string &text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

} // namespace simtest
