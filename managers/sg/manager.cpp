// The two ASPI entry points over Linux's sg driver. Every request completes
// before SendASPI32Command returns: the call returns the final status, and a
// request that asked for notification has its event signalled all the same.
#include <array>
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
#include "entry_points.h"
#include "failure_cause.h"
#include "final_status.h"
#include "sg_transport.h"
#include "srb_layout.h"

#define SGASPI_EXPORT extern "C" __attribute__((visibility("default")))

namespace sgaspi {
using namespace aspikit;
namespace {

constexpr char kManagerId[] = "LINUX SG ASPI";

// Shared from the census on; held from the first command that changes the
// drive; refused for good once it could not be held, so that no part of an
// update goes out after a refused step.
enum class Access { Shared, Held, Refused };

// What the manager knows of the drive at one target.
struct Drive {
  int fd = -1;       // -1 when not open
  int openErrno = 0; // why the node is not open
  Access access = Access::Shared;
  Identity identity;    // from the program's last INQUIRY
  bool changed = false; // a command that changes it has gone out
};

struct Manager {
  std::mutex lock; // one SG_IO at a time; the census is built under it
  bool censusTaken = false;
  std::vector<Adapter> adapters;
  std::vector<std::array<Drive, kTargetsPerAdapter>> drives; // per adapter and target
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

// Takes the open node's lock, which tells other updaters that this process
// found the drive first. False when another process has the drive: it has the
// node open exclusively (it is flashing the drive) or holds the lock already;
// the drive is then left out of the census. A node that did not open for
// another reason (`openErrno`) stays in, to be reported.
bool ClaimDrive(int fd, int openErrno, const std::string &path) {
  bool heldElsewhere = false;
  if (fd < 0)
    heldElsewhere = openErrno == EBUSY;
  else if (!LockSgDevice(fd))
    heldElsewhere = errno == EWOULDBLOCK;
  if (!heldElsewhere)
    return true;
  std::fprintf(stderr,
               "LINUX SG ASPI: %s is in use by another program (another firmware update?); "
               "its drive is left out.\n",
               path.c_str());
  return false;
}

void EnsureCensus(Manager &m) {
  if (m.censusTaken)
    return;
  m.censusTaken = true;
  m.adapters = TakeCensus(SysfsRoot());
  if (m.adapters.size() > 255)
    m.adapters.resize(255);
  m.drives.assign(m.adapters.size(), {});
  for (std::size_t a = 0; a < m.adapters.size(); ++a) {
    std::string line =
        "ADAPTER " + std::to_string(a) + " host=" + std::to_string(m.adapters[a].host) +
        " channel=" + std::to_string(m.adapters[a].channel) + " driver=" + m.adapters[a].driver +
        " identifier=" + m.adapters[a].identifier;
    for (int t = 0; t < kTargetsPerAdapter; ++t) {
      if (!m.adapters[a].present[t])
        continue;
      const std::string path = DevPath(m.adapters[a].devices[t].sgName);
      Drive &drive = m.drives[a][t];
      drive.fd = OpenSgDevice(path);
      const int openErrno = drive.fd < 0 ? errno : 0;
      if (!ClaimDrive(drive.fd, openErrno, path)) {
        if (drive.fd >= 0)
          close(drive.fd);
        drive.fd = -1;
        m.adapters[a].present[t] = false;
        continue;
      }
      if (drive.fd < 0) {
        drive.openErrno = openErrno;
        ReportOpenFailure(m, path, openErrno);
      }
      line += " t" + std::to_string(t) + "=" + m.adapters[a].devices[t].sgName;
    }
    LogLine(line);
  }
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
  Drive &drive = m.drives[ha][target];
  if (drive.access != Access::Shared)
    return drive.access == Access::Held ? 0 : EBUSY;
  const SgDevice &device = m.adapters[ha].devices[target];
  const std::string blockPath = device.blockName.empty() ? "" : DevPath(device.blockName);
  const Hold h = TakeHold(SystemHoldCalls(), drive.fd, DevPath(device.sgName), blockPath);
  drive.fd = h.sgFd; // the block node stays open until the process ends
  if (h.sgFd < 0)
    drive.openErrno = h.sgErrno;
  ReportHold(m, h, DevPath(device.sgName), blockPath, cdb);
  drive.access = h.outcome == HoldOutcome::Held ? Access::Held : Access::Refused;
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
  if (!m.drives[req.haId][req.target].changed && state != DriveState::ProgrammingMode)
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
  Drive &drive = m.drives[req.haId][req.target];
  Identity &known = drive.identity;
  if (IsStandardInquiry(req.cdb) && req.bufPointer != 0) {
    IdentityOf(reinterpret_cast<const std::uint8_t *>(req.bufPointer), req.bufLen, known);
    return;
  }
  if (!Commits(req.cdb))
    return;
  const std::string node = DevPath(m.adapters[req.haId].devices[req.target].sgName);
  const ReadBack back =
      WaitForRevision(SystemReadBackCalls(drive.fd, SysfsRoot(), DevRoot(), known.vendorProduct));
  Tell(RevisionNotice(back.node.empty() ? node : back.node, known.revision, back.revision,
                      back.cameBack, kReadBackWaitS));
}

std::uint32_t ExecScsiCmd(Manager &m, std::uint8_t *block) {
  const ExecRequest req = DecodeExec(block);
  ExecResult res{};
  SgOutcome raw{};
  bool sent = false;
  if (req.haId >= m.adapters.size())
    res.status = SS_INVALID_HA;
  else if (req.lun != 0 || req.target >= kTargetsPerAdapter ||
           !m.adapters[req.haId].present[req.target])
    res.status = SS_NO_DEVICE;
  else if (BadExecRequest(req))
    res.status = SS_INVALID_SRB;
  else if (m.drives[req.haId][req.target].fd < 0) {
    res.status = SS_ERR;
    raw.ioctlErrno = m.drives[req.haId][req.target].openErrno;
  } else if (const int refused =
                 ChangesDrive(req.cdb[0]) ? EnsureHeld(m, req.haId, req.target, req.cdb) : 0;
             refused != 0) {
    // Not sent: answered as a drive answers that cannot take a command now.
    res.status = SS_ERR;
    res.targStat = refused == EBUSY ? kStatusBusy : 0;
    raw.ioctlErrno = refused;
    raw.scsiStatus = res.targStat;
  } else {
    res = RunSgIo(m.drives[req.haId][req.target].fd, req, raw);
    sent = true;
  }
  if (sent) {
    TellTrouble(m, req, res, raw);
    AfterCompletion(m, req, res);
    bool &changed = m.drives[req.haId][req.target].changed;
    changed = changed || ChangesDrive(req.cdb[0]);
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
  return SupportInfoFor(m.adapters.size());
}

SGASPI_EXPORT std::uint32_t SendASPI32Command(void *srb) {
  using namespace sgaspi;
  if (srb == nullptr)
    return SS_INVALID_SRB;
  auto *block = static_cast<std::uint8_t *>(srb);
  Manager &m = TheManager();
  std::lock_guard<std::mutex> hold(m.lock);
  EnsureCensus(m);
  return DispatchCommand(m, block, HaInquiry, GetDeviceType, ExecScsiCmd);
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
  const Drive &drive = m.drives[ha][target];
  const bool writable = drive.fd >= 0 || drive.access == Access::Held;
  return AnswerDeviceNode(DevPath(m.adapters[ha].devices[target].sgName), writable, path, size);
}
