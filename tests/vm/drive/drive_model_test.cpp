// The emulated drive's own rules, checked on the host before the VM boots:
// a VM case that passes must not owe it to a drive that accepts anything.
#include "drive_model.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int failures = 0;

void Check(bool good, const std::string &what) {
  std::printf("%s drive model: %s\n", good ? "ok  " : "FAIL", what.c_str());
  failures += good ? 0 : 1;
}

struct Step {
  std::vector<std::uint8_t> cdb;
  std::size_t dataLen; // data-out bytes for 3B/F0/E2, data-in bytes otherwise
  const char *data;    // data-out contents (NUL-padded), or nullptr
  std::uint8_t status;
  std::uint8_t key, asc, ascq; // expected sense when status is 2
};

qdrive::Reply Run(qdrive::DriveModel &m, const Step &s, std::vector<std::uint8_t> &in) {
  std::vector<std::uint8_t> out(s.dataLen, 0);
  if (s.data)
    std::memcpy(out.data(), s.data, std::min(s.dataLen, std::strlen(s.data)));
  in.assign(s.dataLen, 0);
  const bool dataOut = s.cdb[0] == 0x3B || s.cdb[0] == 0xF0 || s.cdb[0] == 0xE2;
  return dataOut ? m.Handle(s.cdb.data(), s.cdb.size(), out.data(), out.size(), nullptr, 0)
                 : m.Handle(s.cdb.data(), s.cdb.size(), nullptr, 0, in.data(), in.size());
}

void Scenario(const char *name, std::vector<std::string> tokens, std::vector<Step> steps) {
  qdrive::DriveConfig config;
  for (const auto &t : tokens)
    Check(qdrive::ParseToken(t, config).empty(), std::string(name) + ": token " + t);
  qdrive::DriveModel m(config);
  std::vector<std::uint8_t> in;
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const Step &s = steps[i];
    const qdrive::Reply r = Run(m, s, in);
    bool good = r.status == s.status;
    if (good && s.status == 2) {
      const bool desc = r.sense[0] == 0x72;
      good = (desc ? r.sense[1] : r.sense[2]) == s.key &&
             (desc ? r.sense[2] : r.sense[12]) == s.asc &&
             (desc ? r.sense[3] : r.sense[13]) == s.ascq;
    }
    char what[160];
    std::snprintf(what, sizeof what, "%s: step %zu (%02X) ends %u %X/%02X/%02X", name, i + 1,
                  s.cdb[0], s.status, s.key, s.asc, s.ascq);
    Check(good, what);
  }
}

std::vector<std::uint8_t> Wb(std::uint8_t mode, std::uint32_t off, std::uint32_t len) {
  return {0x3B,
          mode,
          0,
          std::uint8_t(off >> 16),
          std::uint8_t(off >> 8),
          std::uint8_t(off),
          std::uint8_t(len >> 16),
          std::uint8_t(len >> 8),
          std::uint8_t(len),
          0};
}
std::vector<std::uint8_t> E2(std::uint8_t b1, std::uint32_t addr, std::uint16_t len) {
  return {0xE2,
          b1,
          std::uint8_t(addr >> 24),
          std::uint8_t(addr >> 16),
          std::uint8_t(addr >> 8),
          std::uint8_t(addr),
          0,
          0,
          std::uint8_t(len >> 8),
          std::uint8_t(len)};
}
const std::vector<std::uint8_t> kRead74 = {0xF1, 0, 0, 0, 0, 74, 0, 0, 0, 4},
                                kWrite74 = {0xF0, 0, 0, 0, 0, 74, 0, 0, 0, 12},
                                kStart = {0xE1, 0x04, 0xFF, 0, 0, 0, 0, 0, 0, 0},
                                kEnd = {0xE4, 0, 0, 0, 0, 0, 0, 0, 0, 0}, kTur = {0, 0, 0, 0, 0, 0};

} // namespace

int main() {
  Scenario("download in order", {},
           {{Wb(4, 0, 32768), 32768, nullptr, 0, 0, 0, 0},
            {Wb(4, 32768, 32768), 32768, nullptr, 0, 0, 0, 0},
            {Wb(5, 65536, 100), 100, nullptr, 0, 0, 0, 0}});
  Scenario("download out of order or malformed", {},
           {{Wb(4, 0, 32768), 32768, nullptr, 0, 0, 0, 0},
            {Wb(4, 65536, 32768), 32768, nullptr, 2, 5, 0x24, 0}, // a block skipped
            {Wb(6, 0, 10), 10, nullptr, 2, 5, 0x24, 0},           // no such mode
            {Wb(5, 0, 20), 10, nullptr, 2, 5, 0x24, 0}});         // length and data differ
  Scenario("fault on the second block, descriptor sense", {"fail=3b:2:05/26/02:desc"},
           {{Wb(4, 0, 8), 8, nullptr, 0, 0, 0, 0},
            {Wb(4, 8, 8), 8, nullptr, 2, 5, 0x26, 2},
            {Wb(4, 8, 8), 8, nullptr, 0, 0, 0, 0}});
  Scenario("memory needs the key prefix", {"mem74=05112233"},
           {{kRead74, 4, nullptr, 0, 0, 0, 0},
            {kWrite74, 12, "QUILMAR \x05\x11\x01\x33", 0, 0, 0, 0},
            {kWrite74, 12, "QUILMAX \x05\x11\x01\x33", 2, 5, 0x26, 0}});
  Scenario("first memory read fails only", {"fail=f1:1:04/44/00"},
           {{kRead74, 4, nullptr, 2, 4, 0x44, 0}, {kRead74, 4, nullptr, 0, 0, 0, 0}});
  Scenario("loader: byte 1 rule at 0x38000, order, closing", {},
           {{E2(1, 0, 4), 4, nullptr, 2, 5, 0x2C, 0}, // before 0xE1
            {kStart, 0, nullptr, 0, 0, 0, 0},
            {E2(1, 0, 0x8000), 0x8000, nullptr, 0, 0, 0, 0},
            {E2(1, 0x10000, 4), 4, nullptr, 2, 5, 0x24, 0}, // a block skipped
            {kEnd, 2, nullptr, 0, 0, 0, 0},
            {kStart, 0, nullptr, 0, 0, 0, 0}});
  {
    qdrive::DriveModel m({});
    std::vector<std::uint8_t> in;
    Run(m, {kStart, 0, nullptr, 0, 0, 0, 0}, in);
    for (std::uint32_t a = 0; a < 0x38000; a += 0x8000)
      Run(m, {E2(1, a, 0x8000), 0x8000, nullptr, 0, 0, 0, 0}, in);
    Check(Run(m, {E2(1, 0x38000, 1), 1, nullptr, 0, 0, 0, 0}, in).status == 2,
          "loader: byte 1 = 1 at 0x38000 refused");
    Check(Run(m, {E2(0, 0x38000, 1), 1, nullptr, 0, 0, 0, 0}, in).status == 0,
          "loader: byte 1 = 0 at 0x38000 taken");
  }
  {
    qdrive::DriveConfig config;
    qdrive::ParseToken("id=QUILMAR:CD-ROM_QM-20TS:1.1A", config);
    qdrive::DriveModel m(config);
    std::vector<std::uint8_t> in;
    m.RaiseUnitAttention();
    Run(m, {{0x12, 0, 0, 0, 62, 0}, 62, nullptr, 0, 0, 0, 0}, in);
    Check(std::memcmp(in.data() + 8, "QUILMAR CD-ROM QM-20TS  1.1A", 28) == 0 && in[34] == '1',
          "INQUIRY identity padded with blanks, revision byte 34");
    Check(Run(m, {kTur, 0, nullptr, 0, 0, 0, 0}, in).sense[12] == 0x29,
          "unit attention on the first command after INQUIRY");
    Check(Run(m, {kTur, 0, nullptr, 0, 0, 0, 0}, in).status == 0, "unit attention only once");
  }
  {
    qdrive::DriveConfig config;
    qdrive::ParseToken("slow=e1:40000", config);
    qdrive::ParseToken("slow=3b:2:90000", config);
    qdrive::DriveModel m(config);
    std::vector<std::uint8_t> in;
    Check(Run(m, {kStart, 0, nullptr, 0, 0, 0, 0}, in).delayMs == 40000, "slow: every 0xE1");
    Check(Run(m, {Wb(4, 0, 0x8000), 0x8000, nullptr, 0, 0, 0, 0}, in).delayMs == 0 &&
              Run(m, {Wb(5, 0x8000, 0x8000), 0x8000, nullptr, 0, 0, 0, 0}, in).delayMs == 90000,
          "slow: the second WRITE BUFFER only");
  }
  {
    qdrive::DriveConfig config;
    qdrive::ParseToken("id=QUILMAR:CD-R_QM-W106TS:1.0A", config);
    qdrive::ParseToken("reboot=2.00:2", config);
    qdrive::DriveModel m(config);
    std::vector<std::uint8_t> in;
    Check(Run(m, {Wb(4, 0, 8), 8, nullptr, 0, 0, 0, 0}, in).status == 0 &&
              Run(m, {kTur, 0, nullptr, 0, 0, 0, 0}, in).status == 0,
          "reboot: a block before the last changes nothing");
    Run(m, {Wb(5, 8, 8), 8, nullptr, 0, 0, 0, 0}, in);
    const std::vector<std::uint8_t> inquiry = {0x12, 0, 0, 0, 36, 0};
    bool booting = true;
    for (int i = 0; i < 2; ++i) {
      const qdrive::Reply r = Run(m, {i ? inquiry : kTur, 36, nullptr, 0, 0, 0, 0}, in);
      booting = booting && r.status == 2 && r.sense[2] == 2 && r.sense[12] == 4;
    }
    Check(booting, "reboot: not ready while it restarts, INQUIRY included");
    Check(Run(m, {kTur, 0, nullptr, 0, 0, 0, 0}, in).sense[12] == 0x29,
          "reboot: then a unit attention for the reset");
    Run(m, {inquiry, 36, nullptr, 0, 0, 0, 0}, in);
    Check(std::memcmp(in.data() + 32, "2.00", 4) == 0, "reboot: the new revision reported");
  }
  qdrive::DriveConfig config;
  Check(!qdrive::ParseToken("fail=3b:1:5/26", config).empty(), "malformed fault switch refused");
  std::printf("drive model: %d failure(s)\n", failures);
  return failures > 0;
}
