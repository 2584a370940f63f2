#include "drive_looks.h"

#include "census.h"
#include "failure_cause.h"
#include "sense.h"
#include "sg_transport.h"

#include <chrono>
#include <cstring>
#include <unistd.h>

namespace sgaspi {
using namespace aspikit;
namespace {

constexpr std::size_t kInquiryLength = 36;
// A look is one of many: a drive that hangs on it is looked at again.
constexpr unsigned kLookTimeoutMs = 5000;
constexpr std::uint8_t STATUS_GOOD = 0x00, STATUS_CHECK_CONDITION = 0x02;

bool IsGone(const SgOutcome &raw) {
  return CauseOf(raw.ioctlErrno, raw.hostStatus, 0) == Cause::Disconnected;
}

ExecResult Send(int fd, std::uint8_t opcode, std::uint8_t *data, std::uint32_t length,
                SgOutcome &raw) {
  ExecRequest req{};
  req.flags = length ? SRB_DIR_IN : 0;
  req.bufLen = length;
  req.bufPointer = reinterpret_cast<std::uintptr_t>(data);
  req.senseLen = kSenseAreaSize;
  req.cdbLen = 6;
  req.cdb[0] = opcode;
  req.cdb[4] = static_cast<std::uint8_t>(length);
  return RunSgIo(fd, req, raw, kLookTimeoutMs);
}

// Unit attention (reset, new microcode), becoming ready, busy: not yet.
// Any other answer (no disc, say) means the drive runs its firmware.
Look PastReset(int fd) {
  SgOutcome raw{};
  const ExecResult res = Send(fd, 0x00, nullptr, 0, raw);
  if (IsGone(raw))
    return Look::Gone;
  if (raw.ioctlErrno != 0 || res.haStat != 0)
    return Look::NotYet;
  if (res.targStat == STATUS_GOOD)
    return Look::Answered;
  if (res.targStat != STATUS_CHECK_CONDITION)
    return Look::NotYet; // busy and the like
  SenseTriple sense{};
  if (!DecodeSense(res.sense, res.senseBytes, sense))
    return Look::NotYet;
  const bool becomingReady = sense.key == 0x02 && sense.asc == 0x04 && sense.ascq != 0x02;
  return sense.key == 0x06 || becomingReady ? Look::NotYet : Look::Answered;
}

} // namespace

bool IdentityOf(const std::uint8_t *data, std::size_t length, Identity &out) {
  if (length < kInquiryLength)
    return false;
  out.vendorProduct.assign(reinterpret_cast<const char *>(data) + 8, 24);
  out.revision.assign(reinterpret_cast<const char *>(data) + 32, 4);
  out.revision.erase(out.revision.find_last_not_of(' ') + 1);
  return true;
}

bool IsStandardInquiry(const std::uint8_t *cdb) {
  return cdb[0] == 0x12 && (cdb[1] & 0x01) == 0;
}

Look LookAtDrive(int fd, Identity &identity) {
  const Look ready = PastReset(fd);
  if (ready != Look::Answered)
    return ready;
  std::uint8_t data[kInquiryLength] = {};
  SgOutcome raw{};
  const ExecResult res = Send(fd, 0x12, data, sizeof data, raw);
  if (IsGone(raw))
    return Look::Gone;
  return res.status == SS_COMP && IdentityOf(data, sizeof data, identity) ? Look::Answered
                                                                          : Look::NotYet;
}

Look LookForDrive(const std::string &sysfsRoot, const std::string &devRoot,
                  const std::string &vendorProduct, std::string &revision, std::string &node) {
  for (const Adapter &adapter : TakeCensus(sysfsRoot)) {
    for (int t = 0; t < kTargetsPerAdapter; ++t) {
      if (!adapter.present[t])
        continue;
      const std::string path = devRoot + "/" + adapter.devices[t].sgName;
      const int fd = OpenSgDevice(path);
      if (fd < 0)
        continue;
      Identity identity;
      const bool same =
          LookAtDrive(fd, identity) == Look::Answered && identity.vendorProduct == vendorProduct;
      ::close(fd);
      if (same) {
        revision = identity.revision;
        node = path;
        return Look::Answered;
      }
    }
  }
  return Look::NotYet;
}

ReadBackCalls SystemReadBackCalls(int fd, const std::string &sysfsRoot, const std::string &devRoot,
                                  const std::string &vendorProduct) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kReadBackWaitS);
  ReadBackCalls calls;
  calls.lookAtNode = [fd](std::string &revision) {
    Identity identity;
    const Look look = LookAtDrive(fd, identity);
    revision = identity.revision;
    return look;
  };
  calls.lookForDrive = [=](std::string &revision, std::string &node) {
    return LookForDrive(sysfsRoot, devRoot, vendorProduct, revision, node);
  };
  calls.pause = [] { ::usleep(kReadBackPauseMs * 1000); };
  calls.timeIsUp = [deadline] { return std::chrono::steady_clock::now() >= deadline; };
  return calls;
}

} // namespace sgaspi
