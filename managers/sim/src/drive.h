// A simulated drive: INQUIRY data, memory, and the image it is being sent.
#pragma once

#include "scenario.h"

#include <cstdint>
#include <map>
#include <vector>

namespace simaspi {

struct DriveState {
  DriveConfig config;
  std::map<uint32_t, uint8_t> memory;                // bytes ever set, sparse
  std::vector<std::pair<uint64_t, uint64_t>> ranges; // [begin, end), sorted, merged
  std::vector<uint8_t> image;                        // firmware assembled so far
  bool haveImage = false;
  bool programming = false;
  uint32_t writeBufferBlocks = 0;
  uint32_t programmingBlocks = 0;
  int lastMode = 0;
  bool ended = false;
  std::map<uint8_t, uint32_t> occurrences; // by opcode

  explicit DriveState(const DriveConfig &cfg);
  void StoreMemory(uint32_t address, const uint8_t *bytes, size_t count);
};

// One EXEC request as the drive sees it. `buffer` may be null only when
// `bufLen` is 0; the drive reads at most `bufLen` bytes of it.
struct DriveRequest {
  const uint8_t *cdb = nullptr;
  uint8_t cdbLen = 0;
  const uint8_t *buffer = nullptr;
  uint32_t bufLen = 0;
};

struct DriveOutcome {
  uint8_t status = 0x01;
  std::vector<uint8_t> data; // bytes the drive returns (caller clips to the buffer)
  bool hasSense = false;
  Sense sense;
  bool changed = false;                  // the drive's state changed: update the result files
  uint64_t imageBegin = 0, imageEnd = 0; // image bytes the command stored
  bool hang = false;                     // never completed: the command was not carried out
  bool twice = false;                    // completed a second time, later
  uint32_t slowMs = 0;                   // completed this long after its submission
};

// Largest image the drive keeps; a block beyond it is refused.
constexpr uint64_t kMaxImageSize = 64u << 20;

// Counts the occurrence, applies the scenario's rules, then the command.
DriveOutcome ExecuteOnDrive(DriveState &drive, const DriveRequest &request);

// The rules that act on the process as a command arrives, before the drive
// carries it out: those matching the occurrence ExecuteOnDrive will count.
struct ArrivalRules {
  const FailRule *signal = nullptr;
  const FailRule *rewrite = nullptr;
  const FailRule *grow = nullptr;
};
ArrivalRules RulesOnArrival(const DriveState &drive, uint8_t opcode);

} // namespace simaspi
