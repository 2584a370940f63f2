// Serves one emulated drive to the kernel's target core through a TCMU UIO
// device, answering each command with DriveModel, and keeps in its directory
// what the drive received:
//   commands.log  one line per command (CDB, data length, status, sense, note)
//   download.bin  WRITE BUFFER data at its buffer offsets
//   loader.bin    0xE2 block data at its addresses
//   ready         once the ring is mapped
// SIGUSR1 raises a unit attention for the next command.
// Usage: qdrive /dev/uioN DIR [id=V:P:R] [mem74=HEX] [fail=...] [slow=...]
#include "drive_model.h"
#include "tcmu_ring.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<bool> gUnitAttention{false};

void OnUsr1(int) {
  gUnitAttention = true;
}

struct Drive {
  qdrive::DriveModel model;
  FILE *log;
  int download, loader;
};

std::string Hex(const std::uint8_t *p, std::size_t n) {
  std::string s;
  char b[4];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, i ? " %02X" : "%02X", p[i]);
    s += b;
  }
  return s;
}

void LogCommand(FILE *log, const std::uint8_t *cdb, std::size_t cdbLen, std::size_t dataLen,
                const qdrive::Reply &r) {
  std::fprintf(log, "CDB %s len=%zu %s", Hex(cdb, cdbLen).c_str(), dataLen,
               r.status ? "CHECK" : "GOOD");
  if (!r.sense.empty()) {
    const bool desc = r.sense[0] == 0x72;
    std::fprintf(log, " sense=%X/%02X/%02X %s", desc ? r.sense[1] : r.sense[2],
                 desc ? r.sense[2] : r.sense[12], desc ? r.sense[3] : r.sense[13],
                 desc ? "descriptor" : "fixed");
  }
  std::fprintf(log, "%s%s\n", r.note.empty() ? "" : " ", r.note.c_str());
  std::fflush(log);
}

void Serve(Drive &d, tcmu_ring &ring, void *entry) {
  const std::uint8_t *cdbAt = ring_cdb(&ring, entry);
  // The target core copies 10 bytes for opcodes 0xC0-0xFF; the rest by group.
  static const std::size_t groupLen[8] = {6, 10, 10, 16, 16, 12, 10, 10};
  std::uint8_t cdb[16] = {};
  const std::size_t cdbLen = groupLen[cdbAt[0] >> 5];
  std::memcpy(cdb, cdbAt, cdbLen);
  std::vector<std::pair<std::uint8_t *, std::size_t>> iov;
  std::size_t total = 0;
  for (std::size_t i = 0; i < ring_iov_count(entry); ++i) {
    std::size_t len = 0;
    std::uint8_t *p = ring_iov(&ring, entry, i, &len);
    iov.emplace_back(p, len);
    total += len;
  }
  // Data direction by opcode: these carry data to the drive, the rest from it.
  const bool dataOut = cdb[0] == 0x3B || cdb[0] == 0xF0 || cdb[0] == 0xE2;
  std::vector<std::uint8_t> data;
  data.reserve(total);
  if (dataOut)
    for (auto [p, len] : iov)
      data.insert(data.end(), p, p + len);
  else
    data.assign(total, 0);

  if (gUnitAttention.exchange(false))
    d.model.RaiseUnitAttention();
  const qdrive::Reply r = dataOut ? d.model.Handle(cdb, cdbLen, data.data(), total, nullptr, 0)
                                  : d.model.Handle(cdb, cdbLen, nullptr, 0, data.data(), total);
  if (r.delayMs)
    usleep(r.delayMs * 1000u);
  if (!dataOut) {
    const std::uint8_t *src = data.data();
    for (auto [p, len] : iov)
      std::memcpy(p, src, len), src += len;
  }
  const int file = r.store == qdrive::Store::Download ? d.download
                   : r.store == qdrive::Store::Loader ? d.loader
                                                      : -1;
  if (file >= 0 && pwrite(file, data.data(), total, r.storeOffset) < 0)
    std::perror("qdrive: pwrite");
  LogCommand(d.log, cdb, cdbLen, total, r);
  ring_complete(&ring, entry, r.status, r.sense.data(), r.sense.size());
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s /dev/uioN DIR [id=V:P:R] [mem74=..] [fail=..] [slow=..]\n",
                 argv[0]);
    return 2;
  }
  qdrive::DriveConfig config;
  for (int i = 3; i < argc; ++i)
    if (const std::string bad = qdrive::ParseToken(argv[i], config); !bad.empty()) {
      std::fprintf(stderr, "qdrive: %s\n", bad.c_str());
      return 2;
    }
  const std::string dir = argv[2];
  Drive d{qdrive::DriveModel(config), std::fopen((dir + "/commands.log").c_str(), "a"),
          open((dir + "/download.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644),
          open((dir + "/loader.bin").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644)};
  tcmu_ring ring;
  if (d.log == nullptr || d.download < 0 || d.loader < 0 || ring_open(argv[1], &ring) != 0) {
    std::fprintf(stderr, "qdrive: cannot open %s or %s: %s\n", argv[1], dir.c_str(),
                 std::strerror(errno));
    return 1;
  }
  struct sigaction sa = {};
  sa.sa_handler = OnUsr1; // no SA_RESTART: the blocking wait returns
  sigaction(SIGUSR1, &sa, nullptr);

  if (FILE *ready = std::fopen((dir + "/ready").c_str(), "w"))
    std::fclose(ready);
  for (;;) {
    while (void *entry = ring_next(&ring))
      Serve(d, ring, entry);
    if (ring_kick(&ring) != 0)
      break;
    if (ring_wait(&ring) != 0 && errno != EINTR)
      break; // the device went away
  }
  return 0;
}
