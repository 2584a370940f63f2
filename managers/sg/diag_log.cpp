#include "diag_log.h"

#include "sense.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace sgaspi {
using namespace aspikit;
namespace {

void AppendHex(std::string &out, const std::uint8_t *bytes, std::size_t n) {
  char buf[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
    out += buf;
  }
}

} // namespace

std::string FormatExecLine(const ExecRequest &req, const ExecResult &res, const SgOutcome &raw) {
  char head[160];
  std::snprintf(head, sizeof head,
                "EXEC ha=%u target=%u lun=%u cdblen=%u status=%02X scsi=%02X host=%02X "
                "driver=%02X errno=%d len=%u cdb=",
                req.haId, req.target, req.lun, req.cdbLen, res.status, raw.scsiStatus,
                raw.hostStatus, raw.driverStatus, raw.ioctlErrno, req.bufLen);
  std::string line = head;
  AppendHex(line, req.cdb, req.cdbLen <= kCdbSize ? req.cdbLen : kCdbSize);
  SenseTriple t{};
  if (DecodeSense(res.sense, res.senseBytes, t)) {
    char s[40];
    std::snprintf(s, sizeof s, " sense=%02X/%02X/%02X", t.key, t.asc, t.ascq);
    line += s;
  }
  return line;
}

namespace {
const char *LogPath() {
  static const char *path = std::getenv("SGASPI_LOG");
  return path != nullptr && *path != '\0' ? path : nullptr;
}
} // namespace

bool LogWanted() {
  return LogPath() != nullptr;
}

void LogLine(const std::string &line) {
  static std::mutex lock;
  const char *path = LogPath();
  if (path == nullptr)
    return;
  std::lock_guard<std::mutex> hold(lock);
  if (FILE *f = std::fopen(path, "a")) {
    std::fprintf(f, "%s\n", line.c_str());
    std::fclose(f);
  }
}

} // namespace sgaspi
