// A QUILMAR drive as the firmware updater meets it: identity, WRITE BUFFER
// download, drive memory, the loader's block transfer, and fault switches.
// Pure logic: the ring loop in tcmu_main.cpp feeds it command blocks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qdrive {

struct Sense {
  std::uint8_t key = 0, asc = 0, ascq = 0;
  bool descriptor = false; // response code 0x72 instead of 0x70
};

// Reject the k-th command of an opcode (k = 0: every one of them).
struct Fault {
  std::uint8_t opcode = 0;
  unsigned nth = 0;
  Sense sense;
};

// Take `milliseconds` over the k-th command of an opcode (k = 0: every one).
struct Slowness {
  std::uint8_t opcode = 0;
  unsigned nth = 0;
  unsigned milliseconds = 0;
};

struct DriveConfig {
  std::string vendor = "QUILMAR", product = "CD-ROM", revision = "1.0A";
  std::uint8_t deviceType = 5;
  std::uint8_t memory74[4] = {0x05, 0x11, 0x22, 0x33};
  std::vector<Fault> faults;
  std::vector<Slowness> slow;
  // After the committing WRITE BUFFER: the drive restarts, answering the
  // next `rebootCommands` commands NOT READY (becoming ready), then with a
  // unit attention for its reset, and reports `rebootRevision` from then on
  // (empty: its old one).
  bool reboots = false;
  std::string rebootRevision;
  unsigned rebootCommands = 0;
};

// Parses "id=VENDOR:PRODUCT:REV" ('_' stands for a blank), "mem74=05112233",
// "fail=OP:K:KEY/ASC/ASCQ[:desc]", "slow=OP:MS" (every one), "slow=OP:K:MS",
// "type=N", "reboot=REV:N" (REV "-" keeps the old revision). Numbers in hex
// except K and MS. Returns an empty string or what is wrong.
std::string ParseToken(const std::string &token, DriveConfig &config);

enum class Store { None, Download, Loader };

struct Reply {
  std::uint8_t status = 0; // SCSI status: 0 GOOD, 2 CHECK CONDITION
  std::vector<std::uint8_t> sense;
  std::size_t dataIn = 0;        // bytes written to the data-in buffer
  Store store = Store::None;     // where the data-out bytes belong
  std::uint32_t storeOffset = 0; // their offset there
  unsigned delayMs = 0;
  std::string note; // extra words for the command log
};

class DriveModel {
public:
  explicit DriveModel(DriveConfig config);

  // One command: out holds the data-out bytes, in receives data-in bytes.
  Reply Handle(const std::uint8_t *cdb, std::size_t cdbLen, const std::uint8_t *out,
               std::size_t outLen, std::uint8_t *in, std::size_t inLen);

  void RaiseUnitAttention() { unitAttention_ = true; }

private:
  Reply Inquiry(const std::uint8_t *cdb, std::uint8_t *in, std::size_t inLen) const;
  Reply WriteBuffer(const std::uint8_t *cdb, std::size_t outLen);
  Reply ReadMemory(const std::uint8_t *cdb, std::uint8_t *in, std::size_t inLen) const;
  Reply WriteMemory(const std::uint8_t *cdb, const std::uint8_t *out, std::size_t outLen);
  Reply LoaderCommand(const std::uint8_t *cdb, const std::uint8_t *out, std::size_t outLen,
                      std::uint8_t *in, std::size_t inLen);

  DriveConfig config_;
  std::uint8_t memory_[256] = {}; // drive memory the vendor commands reach
  unsigned counts_[256] = {};
  bool unitAttention_ = false;
  unsigned booting_ = 0;           // commands still answered NOT READY while it restarts
  std::uint32_t downloadNext_ = 0; // offset the next WRITE BUFFER block must carry
  bool loaderOpen_ = false;
  std::uint32_t loaderNext_ = 0;
  std::uint16_t loaderSum_ = 0;
};

Reply CheckCondition(const Sense &sense);

} // namespace qdrive
