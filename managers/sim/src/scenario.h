// The scenario: what the simulated manager serves, read from a text file.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace simaspi {

struct Sense {
  uint8_t key = 0;
  uint8_t asc = 0;
  uint8_t ascq = 0;
};

// What a drive does to chosen commands: fail them, or, as a broken manager
// would, never complete them or complete them a second time later; or what
// happens to the caller's process as they arrive: a signal, a file rewritten
// or grown; or take long over them, as a drive programming its flash does.
struct FailRule {
  enum class When { Nth, FirstN, All };
  enum class Action { Fail, Hang, CompleteTwice, Signal, Rewrite, Grow, Slow };
  Action action = Action::Fail;
  uint8_t opcode = 0; // of the command kind the rule names
  When when = When::All;
  uint32_t n = 0;
  bool hasSense = false;
  Sense sense;
  int signal = 0;      // Signal: its number
  std::string written; // Signal: the name; Rewrite, Grow: the path; as the scenario gives them
  std::string path;    // Rewrite, Grow: the file, resolved
  uint32_t slowMs = 0; // Slow: completed this long after its submission
};

struct MemoryRange {
  uint32_t address = 0;
  std::vector<uint8_t> bytes;
};

constexpr size_t kInquirySize = 96;

struct DriveConfig {
  std::array<uint8_t, kInquirySize> inquiry{};
  std::vector<MemoryRange> memory;
  std::vector<FailRule> fails;
  std::string node;         // the device node the manager names for it; empty: none
  bool nodeWritable = true; // false: this process may not read and write the node
};

struct AdapterConfig {
  std::array<uint8_t, 16> identifier{};
  std::array<uint8_t, 16> manager{};
  bool inquiryFails = false;
};

// A run of busy answers: submissions number start+1 .. start+count (counted
// from 1 per request kind) are answered busy.
struct BusyRun {
  uint64_t start = 0;
  uint32_t count = 0;
  bool viaReturn = true; // false: only SRB_Status says busy
};

using Address = std::pair<int, int>; // adapter, target

struct Scenario {
  bool valid = true;
  std::string transcriptPath; // empty: no transcript
  bool transcriptAppend = false;
  std::string resultDir; // empty: no result files
  uint32_t supportInfo = 0;
  bool async = false;
  uint32_t delayMicros = 0;
  std::vector<BusyRun> busyExec;
  std::vector<BusyRun> busyGdev;
  uint64_t staleSignalsAt = 0;    // EXEC submission (from 1) that re-signals old events; 0: none
  bool hangGdev = false;          // GET DEVICE TYPE accepted and never completed
  bool closeEvents = false;       // each event is closed once signalled for its completion
  uint32_t signalEarlyMicros = 0; // event signalled this long before the status; 0: after it
  uint32_t eventStormMicros = 0;  // pending requests' events signalled this often; 0: never
  std::map<int, AdapterConfig> adapters;
  std::map<Address, uint8_t> deviceTypes;
  std::map<Address, DriveConfig> drives;

  uint8_t AdapterCount() const { return static_cast<uint8_t>(supportInfo & 0xFF); }
};

// Parses scenario text. Relative paths are resolved against baseDir. Each
// malformed line is reported on stderr with its number; the result is then
// marked invalid.
Scenario ParseScenario(const std::string &text, const std::string &fileName,
                       const std::string &baseDir);

// Reads and parses the file; a missing file gives an invalid scenario.
Scenario LoadScenario(const std::string &path, const std::string &baseDir);

} // namespace simaspi
