#include "sg_transport.h"

#include "drive_changes.h"
#include "sense.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace sgaspi {
using namespace aspikit;
namespace {

constexpr int kMinReservedBuffer = 32768;

} // namespace

int OpenSgDevice(const std::string &path, bool exclusive) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | (exclusive ? O_EXCL : 0));
  if (fd < 0)
    return -1;
  int reserved = 0;
  if (::ioctl(fd, SG_GET_RESERVED_SIZE, &reserved) == 0 && reserved < kMinReservedBuffer) {
    int wanted = kMinReservedBuffer;
    (void)::ioctl(fd, SG_SET_RESERVED_SIZE, &wanted);
  }
  return fd;
}

HoldCalls SystemHoldCalls() {
  HoldCalls calls;
  calls.openSg = [](const std::string &path, bool exclusive) {
    return OpenSgDevice(path, exclusive);
  };
  // O_NONBLOCK: opened with or without a medium, and without the checks a
  // data open makes; write mode with O_EXCL is what stops the media polling.
  calls.openBlockExclusive = [](const std::string &path) {
    return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
  };
  calls.close = [](int fd) { ::close(fd); };
  calls.pause = [] { ::usleep(100 * 1000); };
  return calls;
}

bool LockSgDevice(int fd) {
  return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

ExecResult RunSgIo(int fd, const ExecRequest &req, SgOutcome &raw, unsigned timeoutMs) {
  std::uint8_t sense[64] = {};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.cmd_len = req.cdbLen;
  io.cmdp = const_cast<unsigned char *>(req.cdb);
  io.mx_sb_len = sizeof sense;
  io.sbp = sense;
  io.timeout = timeoutMs != 0 ? timeoutMs : aspikit::CommandTimeoutSeconds(req.cdb[0]) * 1000u;
  io.dxfer_len = req.bufLen;
  io.dxferp = reinterpret_cast<void *>(req.bufPointer);
  if (req.bufLen == 0 || req.bufPointer == 0)
    io.dxfer_direction = SG_DXFER_NONE, io.dxfer_len = 0, io.dxferp = nullptr;
  else if (req.flags & SRB_DIR_OUT)
    io.dxfer_direction = SG_DXFER_TO_DEV;
  else if (req.flags & SRB_DIR_IN)
    io.dxfer_direction = SG_DXFER_FROM_DEV;
  else // direction left to the command: read, keeping the buffer's contents
    io.dxfer_direction = SG_DXFER_TO_FROM_DEV;

  raw = {};
  int rc;
  do
    rc = ::ioctl(fd, SG_IO, &io);
  while (rc < 0 && errno == EINTR);
  raw.ioctlErrno = rc < 0 ? errno : 0;
  raw.scsiStatus = io.status;
  raw.hostStatus = io.host_status;
  raw.driverStatus = io.driver_status;
  raw.senseBytes = rc < 0 ? 0 : io.sb_len_wr;
  raw.sense = sense;

  const MappedStatus m = MapOutcome(raw);
  ExecResult res{};
  res.status = m.srbStatus;
  res.haStat = m.haStat;
  res.targStat = m.targStat;
  res.senseBytes =
      static_cast<std::uint8_t>(ToFixedSense(sense, raw.senseBytes, res.sense, kSenseAreaSize));
  raw.sense = nullptr; // points into this frame
  return res;
}

} // namespace sgaspi
