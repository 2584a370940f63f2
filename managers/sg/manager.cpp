// The two ASPI entry points over Linux's sg driver. Every request completes
// before SendASPI32Command returns: the call returns the final status, and a
// request that asked for notification has its event signalled all the same.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unistd.h>
#include <vector>

#include "census.h"
#include "desktop_notice.h"
#include "device_node.h"
#include "diag_log.h"
#include "drive_changes.h"
#include "drive_looks.h"
#include "failure_cause.h"
#include "final_status.h"
#include "sg_transport.h"
#include "srb_layout.h"

#define SGASPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace sgaspi {
using namespace aspikit;
namespace {

constexpr char kManagerId[] = "LINUX SG ASPI";
constexpr std::uint8_t kStatusBusy = 0x08;

// Shared from the census on; held from the first command that changes the
// drive; refused for good once it could not be held, so that no part of an
// update goes out after a refused step.
enum class Access { Shared, Held, Refused };

struct Manager {
  std::mutex lock; // one SG_IO at a time; the census is built under it
  bool censusTaken = false;
  std::vector<Adapter> adapters;
  std::vector<std::vector<int>> fds;       // per adapter and target, -1 when not open
  std::vector<std::vector<int>> openErrno; // why a node is not open
  std::vector<std::vector<Access>> access;
  std::vector<std::vector<Identity>> identity; // from the program's last INQUIRY
  std::vector<std::vector<bool>> changed;      // a command that changes it has gone out
  bool permissionReported = false;
  bool troubleTold = false; // the program stops at the first failure it reports
};

Manager &TheManager() {
  static Manager m;
  return m;
}

const char *SysfsRoot() {
  const char *root = std::getenv("SGASPI_SYSFS");
  return root && *root ? root : "/sys";
}

const char *DevRoot() {
  const char *root = std::getenv("SGASPI_DEV");
  return root && *root ? root : "/dev";
}

void ReportOpenFailure(Manager &m, const std::string &path, int err) {
  if (err != EACCES && err != EPERM) {
    std::fprintf(stderr, "LINUX SG ASPI: cannot open %s: %s\n", path.c_str(), std::strerror(err));
    return;
  }
  if (m.permissionReported)
    return;
  m.permissionReported = true;
  std::fprintf(stderr,
               "LINUX SG ASPI: no read and write access to %s (%s). Run with the rights to "
               "/dev/sg* (for example as a member of the group that owns them, such as disk "
               "or cdrom) or as root.\n",
               path.c_str(), std::strerror(err));
  NotifyDesktop("No access to the CD drive", MissingRightsNotice(path, OwningGroup(path)));
}

std::string DevPath(const std::string &name) {
  return std::string(DevRoot()) + "/" + name;
}

// Another process has the node open exclusively (it is flashing the drive)
// or holds its lock (another updater found the drive first): the drive is
// left out of the census. `openErrno` is why `fd` is -1.
bool HeldElsewhere(int fd, int openErrno, const std::string &path) {
  if (fd < 0 ? openErrno != EBUSY : LockSgDevice(fd) || errno != EWOULDBLOCK)
    return false;
  std::fprintf(stderr,
               "LINUX SG ASPI: %s is in use by another program (another firmware update?); "
               "its drive is left out.\n",
               path.c_str());
  return true;
}

void EnsureCensus(Manager &m) {
  if (m.censusTaken)
    return;
  m.censusTaken = true;
  m.adapters = TakeCensus(SysfsRoot());
  if (m.adapters.size() > 255)
    m.adapters.resize(255);
  m.fds.assign(m.adapters.size(), std::vector<int>(kTargetsPerAdapter, -1));
  m.openErrno.assign(m.adapters.size(), std::vector<int>(kTargetsPerAdapter, 0));
  m.access.assign(m.adapters.size(), std::vector<Access>(kTargetsPerAdapter, Access::Shared));
  m.identity.assign(m.adapters.size(), std::vector<Identity>(kTargetsPerAdapter));
  m.changed.assign(m.adapters.size(), std::vector<bool>(kTargetsPerAdapter, false));
  for (std::size_t a = 0; a < m.adapters.size(); ++a) {
    std::string line =
        "ADAPTER " + std::to_string(a) + " host=" + std::to_string(m.adapters[a].host) +
        " channel=" + std::to_string(m.adapters[a].channel) + " driver=" + m.adapters[a].driver +
        " identifier=" + m.adapters[a].identifier;
    for (int t = 0; t < kTargetsPerAdapter; ++t) {
      if (!m.adapters[a].present[t])
        continue;
      const std::string path = DevPath(m.adapters[a].devices[t].sgName);
      m.fds[a][t] = OpenSgDevice(path);
      const int openErrno = m.fds[a][t] < 0 ? errno : 0;
      if (HeldElsewhere(m.fds[a][t], openErrno, path)) {
        if (m.fds[a][t] >= 0)
          close(m.fds[a][t]);
        m.fds[a][t] = -1;
        m.adapters[a].present[t] = false;
        continue;
      }
      if (m.fds[a][t] < 0) {
        m.openErrno[a][t] = openErrno;
        ReportOpenFailure(m, path, openErrno);
      }
      line += " t" + std::to_string(t) + "=" + m.adapters[a].devices[t].sgName;
    }
    LogLine(line);
  }
}

void CopyText(std::uint8_t *field, const std::string &text) {
  std::memset(field, 0, kHaTextSize);
  std::memcpy(field, text.data(), text.size() < kHaTextSize ? text.size() : kHaTextSize);
}

std::uint32_t HaInquiry(Manager &m, std::uint8_t *block) {
  const std::uint8_t ha = block[kHaId];
  if (ha >= m.adapters.size()) {
    PublishStatus(block, SS_INVALID_HA);
    return SS_INVALID_HA;
  }
  block[kHaCount] = static_cast<std::uint8_t>(m.adapters.size());
  block[kHaScsiId] = static_cast<std::uint8_t>(m.adapters[ha].scsiId);
  CopyText(block + kHaManagerId, kManagerId);
  CopyText(block + kHaIdentifier, m.adapters[ha].identifier);
  std::uint8_t *unique = block + kHaUnique;
  std::memset(unique, 0, kHaTextSize);
  unique[0] = 0x03; // buffers aligned to 4 bytes preferred
  unique[3] = kTargetsPerAdapter;
  const std::uint32_t maxTransfer = 65536;
  std::memcpy(unique + 4, &maxTransfer, 4);
  PublishStatus(block, SS_COMP);
  return SS_COMP;
}

std::uint32_t GetDeviceType(Manager &m, std::uint8_t *block) {
  const std::uint8_t ha = block[kHaId], target = block[kGdevTarget], lun = block[kGdevLun];
  std::uint8_t status = SS_NO_DEVICE;
  if (ha >= m.adapters.size())
    status = SS_INVALID_HA;
  else if (lun == 0 && target < kTargetsPerAdapter && m.adapters[ha].present[target]) {
    block[kGdevDeviceType] = m.adapters[ha].devices[target].deviceType;
    status = SS_COMP;
  }
  PublishStatus(block, status);
  return status;
}

void Tell(const Notice &notice) {
  std::fprintf(stderr, "LINUX SG ASPI: %s\n", notice.body.c_str());
  NotifyDesktop(notice.summary, notice.body);
}

// The drive is held before the first command that changes it, `cdb`: a
// refused hold leaves it untouched, or in the programming mode it was in.
void ReportHold(Manager &m, const Hold &h, const std::string &sgPath, const std::string &blockPath,
                const std::uint8_t *cdb) {
  const DriveState state = StateAfterFailure(cdb, false) == DriveState::ProgrammingMode
                               ? DriveState::ProgrammingMode
                               : DriveState::Untouched;
  if (h.outcome == HoldOutcome::Busy) {
    m.troubleTold = true;
    Tell(TroubleNotice(Cause::HeldElsewhere, state, h.busyNode,
                       HoldersOf("/proc", {sgPath, blockPath}, getpid()), 0));
  } else if (h.outcome == HoldOutcome::Failed) {
    const Cause cause = CauseOf(h.sgErrno, 0, 0);
    if (cause == Cause::None) {
      std::fprintf(stderr, "LINUX SG ASPI: cannot open the drive alone for the update: %s\n",
                   std::strerror(h.sgErrno));
      return;
    }
    m.troubleTold = true;
    Tell(TroubleNotice(cause, state, sgPath, "", 0));
  } else if (h.blockErrno != 0) {
    std::fprintf(stderr,
                 "LINUX SG ASPI: cannot hold %s during the update (%s): the kernel's media "
                 "polling and other programs' exclusive opens are not kept away.\n",
                 blockPath.c_str(), std::strerror(h.blockErrno));
  }
}

// Before the first command that changes a drive: nobody else reaches it
// from now until the process ends. 0 when held, else the errno that refuses
// the command (EBUSY: another program holds the drive).
int EnsureHeld(Manager &m, std::uint8_t ha, std::uint8_t target, const std::uint8_t *cdb) {
  Access &access = m.access[ha][target];
  if (access != Access::Shared)
    return access == Access::Held ? 0 : EBUSY;
  const SgDevice &device = m.adapters[ha].devices[target];
  const std::string blockPath = device.blockName.empty() ? "" : DevPath(device.blockName);
  const Hold h = TakeHold(SystemHoldCalls(), m.fds[ha][target], DevPath(device.sgName), blockPath);
  m.fds[ha][target] = h.sgFd; // the block node stays open until the process ends
  if (h.sgFd < 0)
    m.openErrno[ha][target] = h.sgErrno;
  ReportHold(m, h, DevPath(device.sgName), blockPath, cdb);
  access = h.outcome == HoldOutcome::Held ? Access::Held : Access::Refused;
  if (h.outcome == HoldOutcome::Failed)
    return h.sgErrno;
  return h.outcome == HoldOutcome::Busy ? EBUSY : 0;
}

// A failed command that changes the drive, when neither sense data nor the
// program's box can say why: the reason, the drive's state and what to do.
void TellTrouble(Manager &m, const ExecRequest &req, const ExecResult &res, const SgOutcome &raw) {
  if (m.troubleTold || res.status == SS_COMP || !ChangesDrive(req.cdb[0]) || res.senseBytes != 0)
    return;
  const Cause cause = CauseOf(raw.ioctlErrno, raw.hostStatus, raw.driverStatus);
  if (cause == Cause::None)
    return;
  m.troubleTold = true;
  // SG_IO refused outright: the command never reached the drive.
  DriveState state = StateAfterFailure(req.cdb, raw.ioctlErrno == 0);
  if (!m.changed[req.haId][req.target] && state != DriveState::ProgrammingMode)
    state = DriveState::Untouched;
  Tell(TroubleNotice(cause, state, DevPath(m.adapters[req.haId].devices[req.target].sgName), "",
                     aspikit::CommandTimeoutSeconds(req.cdb[0])));
}

bool Commits(const std::uint8_t *cdb) {
  const std::uint8_t mode = cdb[1] & 0x1F;
  return cdb[0] == 0x3B && (mode == 0x05 || mode == 0x07);
}

// After a completed INQUIRY of the program's, what the drive is; after its
// committing block, what it runs now (told, never changing the outcome).
void AfterCompletion(Manager &m, const ExecRequest &req, const ExecResult &res) {
  if (res.status != SS_COMP)
    return;
  Identity &known = m.identity[req.haId][req.target];
  if (IsStandardInquiry(req.cdb) && req.bufPointer != 0) {
    IdentityOf(reinterpret_cast<const std::uint8_t *>(req.bufPointer), req.bufLen, known);
    return;
  }
  if (!Commits(req.cdb))
    return;
  const std::string node = DevPath(m.adapters[req.haId].devices[req.target].sgName);
  const ReadBack back = WaitForRevision(SystemReadBackCalls(
      m.fds[req.haId][req.target], SysfsRoot(), DevRoot(), known.vendorProduct));
  Tell(RevisionNotice(back.node.empty() ? node : back.node, known.revision, back.revision,
                      back.cameBack, kReadBackWaitS));
}

std::uint32_t ExecScsiCmd(Manager &m, std::uint8_t *block) {
  const ExecRequest req = DecodeExec(block);
  ExecResult res{};
  SgOutcome raw{};
  bool sent = false;
  const bool badSrb = req.cdbLen == 0 || req.cdbLen > kCdbSize ||
                      (req.bufLen != 0 && req.bufPointer == 0) ||
                      ((req.flags & SRB_DIR_IN) && (req.flags & SRB_DIR_OUT));
  if (req.haId >= m.adapters.size())
    res.status = SS_INVALID_HA;
  else if (req.lun != 0 || req.target >= kTargetsPerAdapter ||
           !m.adapters[req.haId].present[req.target])
    res.status = SS_NO_DEVICE;
  else if (badSrb)
    res.status = SS_INVALID_SRB;
  else if (m.fds[req.haId][req.target] < 0) {
    res.status = SS_ERR;
    raw.ioctlErrno = m.openErrno[req.haId][req.target];
  } else if (const int refused =
                 ChangesDrive(req.cdb[0]) ? EnsureHeld(m, req.haId, req.target, req.cdb) : 0;
             refused != 0) {
    // Not sent: answered as a drive answers that cannot take a command now.
    res.status = SS_ERR;
    res.targStat = refused == EBUSY ? kStatusBusy : 0;
    raw.ioctlErrno = refused;
    raw.scsiStatus = res.targStat;
  } else {
    res = RunSgIo(m.fds[req.haId][req.target], req, raw);
    sent = true;
  }
  if (sent) {
    TellTrouble(m, req, res, raw);
    AfterCompletion(m, req, res);
    m.changed[req.haId][req.target] = m.changed[req.haId][req.target] || ChangesDrive(req.cdb[0]);
  }
  WriteExecOutcome(block, kNativeExec, req.senseLen, res.haStat, res.targStat, res.sense,
                   res.senseBytes);
  if (LogWanted()) // the line is built only when it is kept
    LogLine(FormatExecLine(req, res, raw));
  FinishRequest(block, res.status, req.Notifies(), req.postProc);
  return res.status;
}

} // namespace
} // namespace sgaspi

SGASPI_EXPORT std::uint32_t GetASPI32SupportInfo(void) {
  using namespace sgaspi;
  Manager &m = TheManager();
  std::lock_guard<std::mutex> hold(m.lock);
  EnsureCensus(m);
  // High byte SS_COMP (or SS_NO_ADAPTERS 0xE8), low byte the adapter count.
  const std::uint32_t count = static_cast<std::uint32_t>(m.adapters.size());
  return count ? (std::uint32_t{SS_COMP} << 8) | count : 0xE8u << 8;
}

SGASPI_EXPORT std::uint32_t SendASPI32Command(void *srb) {
  using namespace sgaspi;
  if (srb == nullptr)
    return SS_INVALID_SRB;
  auto *block = static_cast<std::uint8_t *>(srb);
  Manager &m = TheManager();
  std::lock_guard<std::mutex> hold(m.lock);
  EnsureCensus(m);
  switch (block[kCmd]) {
  case SC_HA_INQUIRY:
    return HaInquiry(m, block);
  case SC_GET_DEV_TYPE:
    return GetDeviceType(m, block);
  case SC_EXEC_SCSI_CMD:
    return ExecScsiCmd(m, block);
  default:
    PublishStatus(block, SS_INVALID_CMD);
    return SS_INVALID_CMD;
  }
}

// The node of a target of the census and whether it is open for reading and
// writing here: the census opened every node read-write, so a node it could
// not open is one this process has no rights to.
SGASPI_EXPORT std::uint32_t GetASPI32DeviceNode(std::uint8_t ha, std::uint8_t target, char *path,
                                                std::uint32_t size) {
  using namespace sgaspi;
  Manager &m = TheManager();
  std::lock_guard<std::mutex> hold(m.lock);
  EnsureCensus(m);
  if (ha >= m.adapters.size() || target >= kTargetsPerAdapter || !m.adapters[ha].present[target])
    return 0;
  const bool writable = m.fds[ha][target] >= 0 || m.access[ha][target] == Access::Held;
  return AnswerDeviceNode(DevPath(m.adapters[ha].devices[target].sgName), writable, path, size);
}
