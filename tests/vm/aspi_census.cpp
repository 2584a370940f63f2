// Runs inside the test VM: binds an ASPI manager library the way the program
// does and prints its census, one INQUIRY per device (6- or 12-byte by
// adapter kind), a 32 KiB READ(10) and a rejected vendor command with its
// sense. Usage: aspi_census /path/WNASPI32.DLL, or aspi_census --now-us
// (monotonic clock in microseconds, for timing inside the VM).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>
#include <vector>

namespace {

using SupportInfoFn = std::uint32_t (*)();
using SendFn = std::uint32_t (*)(void *);
SendFn Send = nullptr;

constexpr std::size_t kGrow = sizeof(void *) - 4;
constexpr std::size_t kSenseLen = 20 + kGrow, kCdbLen = 21 + kGrow, kPostProc = 24 + kGrow,
                      kCdb = 48 + 2 * kGrow, kSense = 64 + 2 * kGrow, kExecSize = 96 + 2 * kGrow;

struct Outcome {
  std::uint8_t status = 0, key = 0, asc = 0, ascq = 0;
  bool eventSignalled = false;
};

Outcome Exec(int ha, int target, const std::vector<std::uint8_t> &cdb, std::uint8_t dirFlag,
             void *buf, std::uint32_t len) {
  std::uint8_t b[kExecSize] = {};
  const int efd = eventfd(0, EFD_CLOEXEC);
  b[0] = 2;
  b[2] = static_cast<std::uint8_t>(ha);
  b[3] = static_cast<std::uint8_t>(dirFlag | 0x40);
  b[8] = static_cast<std::uint8_t>(target);
  std::memcpy(&b[12], &len, 4);
  const std::uintptr_t p = reinterpret_cast<std::uintptr_t>(buf);
  std::memcpy(&b[16], &p, sizeof p);
  b[kSenseLen] = 32;
  b[kCdbLen] = static_cast<std::uint8_t>(cdb.size());
  const std::uintptr_t ev = static_cast<std::uintptr_t>(efd);
  std::memcpy(&b[kPostProc], &ev, sizeof ev);
  std::memcpy(&b[kCdb], cdb.data(), cdb.size());
  const std::uint32_t rc = Send(b);
  Outcome o;
  pollfd pfd{efd, POLLIN, 0};
  o.eventSignalled = poll(&pfd, 1, rc == 0 ? -1 : 1000) == 1;
  close(efd);
  o.status = __atomic_load_n(&b[1], __ATOMIC_ACQUIRE);
  const std::uint8_t *s = &b[kSense];
  if ((s[0] & 0x7F) == 0x70 || (s[0] & 0x7F) == 0x71)
    o.key = s[2] & 0x0F, o.asc = s[12], o.ascq = s[13];
  else if ((s[0] & 0x7F) == 0x72 || (s[0] & 0x7F) == 0x73)
    o.key = s[1] & 0x0F, o.asc = s[2], o.ascq = s[3];
  return o;
}

std::string Printable(const std::uint8_t *p, std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i)
    s += (p[i] >= 0x20 && p[i] < 0x7F) ? static_cast<char>(p[i]) : '.';
  return s;
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 2 && std::strcmp(argv[1], "--now-us") == 0) { // stopwatch for the bench
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    std::printf("%lld\n", static_cast<long long>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000);
    return 0;
  }
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s WNASPI32.DLL\n", argv[0]);
    return 2;
  }
  void *lib = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) {
    std::printf("CENSUS load failed: %s\n", dlerror());
    return 1;
  }
  auto info = reinterpret_cast<SupportInfoFn>(dlsym(lib, "GetASPI32SupportInfo"));
  Send = reinterpret_cast<SendFn>(dlsym(lib, "SendASPI32Command"));
  if (info == nullptr || Send == nullptr) {
    std::printf("CENSUS entry points missing\n");
    return 1;
  }
  const std::uint32_t support = info();
  const int count = support & 0xFF;
  std::printf("CENSUS support=%04X adapters=%d\n", support & 0xFFFF, count);
  for (int ha = 0; ha < count; ++ha) {
    std::uint8_t hai[60] = {};
    hai[2] = static_cast<std::uint8_t>(ha);
    Send(hai);
    const std::string manager(reinterpret_cast<char *>(&hai[10]), strnlen((char *)&hai[10], 16));
    const std::string ident(reinterpret_cast<char *>(&hai[26]), strnlen((char *)&hai[26], 16));
    const bool twelve =
        ident.find("ATAPI") != std::string::npos || ident.find("USB") != std::string::npos;
    std::printf("ADAPTER %d status=%02X count=%d id=%d manager=\"%s\" identifier=\"%s\"\n", ha,
                hai[1], hai[8], hai[9], manager.c_str(), ident.c_str());
    for (int t = 0; t < 16; ++t) {
      std::uint8_t g[27] = {};
      g[0] = 1;
      g[2] = static_cast<std::uint8_t>(ha);
      g[8] = static_cast<std::uint8_t>(t);
      Send(g);
      if (g[1] != 0x01)
        continue;
      std::uint8_t inq[96] = {};
      std::vector<std::uint8_t> cdb = {0x12, 0, 0, 0, 96, 0};
      if (twelve)
        cdb.resize(12, 0);
      const Outcome io = Exec(ha, t, cdb, 0x08, inq, 96);
      std::printf("DEVICE ha=%d target=%d type=%d inquiry_status=%02X cdb=%zu event=%d "
                  "ident=\"%s\"\n",
                  ha, t, g[10], io.status, cdb.size(), io.eventSignalled ? 1 : 0,
                  Printable(inq + 8, 28).c_str());
      // READ CAPACITY then 32 KiB of READ(10): the largest block the program moves.
      std::uint8_t cap[8] = {};
      const Outcome rc = Exec(ha, t, {0x25, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 0x08, cap, 8);
      std::uint32_t blockSize = (cap[4] << 24) | (cap[5] << 16) | (cap[6] << 8) | cap[7];
      if (rc.status == 0x01 && blockSize >= 512 && blockSize <= 32768) {
        std::vector<std::uint8_t> data(32768, 0xEE);
        const std::uint16_t blocks = static_cast<std::uint16_t>(32768 / blockSize);
        const Outcome rd = Exec(ha, t,
                                {0x28, 0, 0, 0, 0, 0, 0, static_cast<std::uint8_t>(blocks >> 8),
                                 static_cast<std::uint8_t>(blocks & 0xFF), 0},
                                0x08, data.data(), 32768);
        std::printf("READ32K ha=%d target=%d status=%02X sense=%X/%02X/%02X\n", ha, t, rd.status,
                    rd.key, rd.asc, rd.ascq);
      } else {
        std::printf("READ32K ha=%d target=%d skipped capacity_status=%02X sense=%X/%02X/%02X\n", ha,
                    t, rc.status, rc.key, rc.asc, rc.ascq);
      }
      // A vendor command every emulated drive refuses: the sense must come back.
      std::uint8_t mem[4] = {};
      const Outcome vd = Exec(ha, t, {0xF1, 0, 0, 0, 0, 74, 0, 0, 4, 0}, 0x08, mem, 4);
      std::printf("VENDOR ha=%d target=%d status=%02X sense=%X/%02X/%02X\n", ha, t, vd.status,
                  vd.key, vd.asc, vd.ascq);
    }
  }
  return 0;
}
