// Drives served by the simulated manager: each SimDrives writes a scenario
// into a fresh directory, binds the pass-through layer to the manager loaded
// from beside the test program, and reads back what the manager recorded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace cmdtest {

using Fields = std::map<std::string, std::string>; // as test_support::Fields

class SimDrives {
public:
  // `scenario` holds the adapter, device and drive lines; the transcript and
  // result directives are added here.
  explicit SimDrives(const std::string &scenario);
  ~SimDrives();
  SimDrives(const SimDrives &) = delete;
  SimDrives &operator=(const SimDrives &) = delete;

  bool Bound() const { return bound_; }
  // The EXEC lines of the transcript, split into their key=value fields.
  std::vector<Fields> Execs() const;
  std::vector<std::uint8_t> Firmware(int adapter, int target) const;
  std::string Memory(int adapter, int target) const;

private:
  std::string dir_;
  bool bound_ = false;
};

std::string Hex(const std::uint8_t *bytes, std::size_t count);
std::string Hex(const std::vector<std::uint8_t> &bytes);

} // namespace cmdtest
