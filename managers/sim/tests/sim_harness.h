// Loads a private copy of a built manager beside a scenario file, and builds
// request blocks byte by byte at the offsets a caller on this platform uses.
#pragma once

#include "srb_layout.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace simtest {

// The kit's own tests pin these offsets to the numbers.
constexpr size_t kSenseLenOff = aspikit::kNativeExec.senseLen;
constexpr size_t kCdbLenOff = aspikit::kNativeExec.cdbLen;
constexpr size_t kTargStatOff = aspikit::kNativeExec.targStat;
constexpr size_t kPostProcOff = aspikit::kNativeExec.postProc;
constexpr size_t kCdbOff = aspikit::kNativeExec.cdb;
constexpr size_t kSenseOff = aspikit::kNativeExec.sense;
constexpr size_t kExecSize = aspikit::kNativeExec.size;

using GetInfoFn = uint32_t (*)();
using SendFn = uint32_t (*)(void *);

class SimRun {
public:
  // variant: "" for the full manager, or "sim-noinfo", "sim-nosend", "sim-zero".
  explicit SimRun(const std::string &scenario, const std::string &variant = "");
  ~SimRun();
  SimRun(const SimRun &) = delete;
  SimRun &operator=(const SimRun &) = delete;

  const std::string &Dir() const { return dir_; }
  GetInfoFn getInfo = nullptr;
  SendFn send = nullptr;

  std::vector<std::string> Transcript() const;
  // The transcript once it holds at least `lines` lines (at most 5 s).
  std::vector<std::string> TranscriptOf(size_t lines) const;
  std::string ReadText(const std::string &relative) const;
  std::vector<uint8_t> ReadBytes(const std::string &relative) const;
  bool Exists(const std::string &relative) const;

private:
  std::string dir_;
  void *handle_ = nullptr;
};

std::vector<uint8_t> HaBlock(uint8_t ha);
std::vector<uint8_t> GdevBlock(uint8_t ha, uint8_t target);

// An EXEC block with the common fields set; the CDB bytes go at the CDB offset.
std::vector<uint8_t> ExecBlock(uint8_t ha, uint8_t target, uint8_t flags,
                               const std::vector<uint8_t> &cdb, void *buffer, uint32_t bufLen,
                               uintptr_t postProc = 0);

class EventFd {
public:
  EventFd() : fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  // Reading the counter before closing orders the manager's signal before the
  // close for ThreadSanitizer, which does not see poll() as synchronising.
  ~EventFd() {
    Count();
    close(fd_);
  }
  int Fd() const { return fd_; }
  uintptr_t Handle() const { return static_cast<uintptr_t>(fd_); }
  // Waits for readability without consuming, as the caller's manual-reset event does.
  bool WaitSignalled(int timeoutMs) const {
    pollfd p{fd_, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1;
  }
  uint64_t Count() const {
    uint64_t v = 0;
    return read(fd_, &v, sizeof v) == sizeof v ? v : 0;
  }

private:
  int fd_;
};

uint8_t StatusOf(const std::vector<uint8_t> &block);
// Polls SRB_Status (acquire order) until it is no longer pending, at most 5 s.
uint8_t WaitForStatus(const std::vector<uint8_t> &block);
std::vector<uint8_t> Bytes(const std::string &text);

} // namespace simtest
