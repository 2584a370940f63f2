// Updates a simulated zero-latency drive with 1 MiB and 16 MiB images through
// DownloadMicrocode (labels, pumps, SubmitRequest and the completion wait
// included), and, as the limit, with a bare loop that sends the same WRITE
// BUFFER blocks straight to the manager. Each case runs in a child process of
// its own, so that it binds the manager afresh and reports its own peak RSS;
// each runs three times and the fastest run is shown, as other work on the
// machine only ever slows a run down. Every case runs without and with the
// simulator's result files ("files"), which it keeps up to date after every
// block as the end-to-end tests read them.
//
// "request memory" is what the drive commands took and keep until the
// process ends (never reused, as a manager may write late).
//
// Usage: bench_update            all cases, one line each, then the ratios
//        bench_update CASE MiB completion files|nofiles   one case (the child's form)
#include "Unit1/Unit1.h"
#include "aspdebug/aspdebug.h"
#include "platform/kernel.h"
#include "platform/toolkit/toolkit.h"
#include "wnaspi95/wnaspi95.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::uint8_t Adapter = 0;
constexpr std::uint8_t Target = 1;
const char *const ImageName = "FIRM6216.ROM";

double CpuSeconds(const rusage &ru) {
  return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
         static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

void WriteScenario(const std::string &path, const std::string &completion, bool files) {
  FILE *f = std::fopen(path.c_str(), "w");
  std::fprintf(f,
               "adapters 1\ncompletion %s\ndevice 0 1 type 5\n%s"
               "drive 0 1 vendor \"QUILMAR \" product \"CD-R   QM-W6216T\" revision \"1.0A\"\n",
               completion == "async" ? "async 0" : "sync", files ? "result out\n" : "");
  std::fclose(f);
}

// Written in pieces: the image is never held in this process's memory.
void WriteImage(std::size_t size) {
  std::vector<std::uint8_t> piece(32768);
  std::uint32_t x = 12345;
  FILE *f = std::fopen(ImageName, "wb");
  for (std::size_t done = 0; done < size; done += piece.size()) {
    for (auto &b : piece) {
      x = x * 1103515245u + 12345u;
      b = static_cast<std::uint8_t>(x >> 16);
    }
    std::fwrite(piece.data(), 1, std::min(piece.size(), size - done), f);
  }
  std::fclose(f);
}

// The same blocks as DownloadMicrocode sends, built by hand and polled.
using SendFn = std::uint32_t (*)(void *);
bool BareLoop(std::size_t size) {
  platform::Library *lib = platform::LoadLibraryByName("WNASPI32.DLL");
  auto send = reinterpret_cast<SendFn>(platform::LookupEntry(lib, "SendASPI32Command"));
  if (send == nullptr) {
    return false;
  }
  const int fd = ::open(ImageName, O_RDONLY);
  static std::uint8_t buffer[32768];
  for (std::size_t offset = 0; offset < size;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) {
      return false;
    }
    SRB_ExecSCSICmd srb{};
    srb.SRB_Cmd = SC_EXEC_SCSI_CMD;
    srb.SRB_HaId = Adapter;
    srb.SRB_Target = Target;
    srb.SRB_Flags = SRB_DIR_OUT;
    srb.SRB_BufLen = static_cast<std::uint32_t>(n);
    srb.SRB_BufPointer = buffer;
    srb.SRB_SenseLen = SENSE_LEN;
    srb.SRB_CDBLen = 10;
    const auto len = static_cast<std::uint32_t>(n);
    const bool last = offset + len >= size;
    const std::uint8_t cdb[10] = {0x3B,
                                  static_cast<std::uint8_t>(last ? 5 : 4),
                                  0,
                                  static_cast<std::uint8_t>(offset >> 16),
                                  static_cast<std::uint8_t>(offset >> 8),
                                  static_cast<std::uint8_t>(offset),
                                  static_cast<std::uint8_t>(len >> 16),
                                  static_cast<std::uint8_t>(len >> 8),
                                  static_cast<std::uint8_t>(len),
                                  0};
    std::memcpy(srb.CDBByte, cdb, sizeof cdb);
    send(&srb);
    volatile std::uint8_t *status = &srb.SRB_Status;
    while (*status == SS_PENDING) {
      platform::SleepMs(0);
    }
    if (*status != SS_COMP) {
      return false;
    }
    offset += len;
  }
  ::close(fd);
  return true;
}

bool ThroughDownload() {
  InitPassThrough();
  InitTrace();
  if (!InitAspi(true)) {
    return false;
  }
  toolkit::Application->Initialize();
  OpenProgressWindow("QM-W6216T Firmware Update");
  return DownloadMicrocode(Form1, ImageName, Adapter, Target) == TransferEnd::Completed;
}

// One case in this process; prints one result line on `resultFd`.
int RunCase(const std::string &kind, std::size_t mib, const std::string &completion, bool files) {
  char dir[] = "/tmp/bench_update-XXXXXX";
  if (::mkdtemp(dir) == nullptr || ::chdir(dir) != 0) {
    return 2;
  }
  const std::string scenario = std::string(dir) + "/bench.scn";
  WriteScenario(scenario, completion, files);
  ::setenv("SIMASPI_SCENARIO", scenario.c_str(), 1);
  ::setenv("FWUPD_TOOLKIT", "console", 1);
  const std::size_t size = mib << 20;
  WriteImage(size);

  // The console backend's progress lines go to /dev/null; results to stderr.
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, 0);
  ::dup2(null, 1);

  rusage before{};
  ::getrusage(RUSAGE_SELF, &before);
  const auto start = std::chrono::steady_clock::now();
  const bool ok = kind == "bare" ? BareLoop(size) : ThroughDownload();
  const auto wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rusage after{};
  ::getrusage(RUSAGE_SELF, &after);

  const std::size_t blocks = (size + 32767) / 32768;
  std::fprintf(stderr,
               "%-8s %3zu MiB %-5s %-7s %5zu blocks  wall %8.3f ms  %7.2f us/block  cpu %8.3f ms  "
               "peak RSS %6ld KiB  request memory %5zu KiB%s\n",
               kind.c_str(), mib, completion.c_str(), files ? "files" : "nofiles", blocks,
               wall * 1e3, wall * 1e6 / blocks, (CpuSeconds(after) - CpuSeconds(before)) * 1e3,
               after.ru_maxrss, platform::RequestMemoryHeld() / 1024, ok ? "" : "  FAILED");
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return ok ? 0 : 1;
}

// Runs one case in a child process; its result line, or "" when it failed.
std::string RunChild(const char *self, const char *kind, const char *mib, const char *completion,
                     const char *files) {
  int out[2];
  if (::pipe(out) != 0) {
    return "";
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], 2);
    ::close(out[0]);
    ::close(out[1]);
    ::execl("/proc/self/exe", self, kind, mib, completion, files, static_cast<char *>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  std::string line;
  char buf[512];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) {
    line.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? line : "";
}

double PerBlock(const std::string &line) {
  const std::size_t at = line.find(" ms ");
  return at == std::string::npos ? 0 : std::strtod(line.c_str() + at + 4, nullptr);
}

} // namespace

int main(int argc, char **argv) {
  if (argc == 5) {
    return RunCase(argv[1], std::strtoul(argv[2], nullptr, 10), argv[3],
                   std::string(argv[4]) == "files");
  }
  constexpr int Runs = 3;
  int failures = 0;
  std::map<std::string, double> perBlock; // by kind, size, completion and files
  for (const char *files : {"nofiles", "files"}) {
    for (const char *kind : {"download", "bare"}) {
      for (const char *mib : {"1", "16"}) {
        for (const char *completion : {"sync", "async"}) {
          std::string best;
          for (int run = 0; run < Runs; ++run) {
            const std::string line = RunChild(argv[0], kind, mib, completion, files);
            failures += line.empty();
            if (!line.empty() && (best.empty() || PerBlock(line) < PerBlock(best))) {
              best = line;
            }
          }
          std::fputs(best.empty() ? "FAILED\n" : best.c_str(), stderr);
          perBlock[std::string(files) + " " + mib + " " + completion + " " + kind] = PerBlock(best);
        }
      }
    }
  }
  for (const char *files : {"nofiles", "files"}) {
    for (const char *mib : {"1", "16"}) {
      for (const char *completion : {"sync", "async"}) {
        const std::string key = std::string(files) + " " + mib + " " + completion;
        const double bare = perBlock[key + " bare"];
        std::fprintf(stderr, "download/bare per block %-7s %2s MiB %-5s %.3f\n", files, mib,
                     completion, bare > 0 ? perBlock[key + " download"] / bare : 0.0);
      }
    }
  }
  return failures == 0 ? 0 : 1;
}
