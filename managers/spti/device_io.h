// The system services the manager needs, behind one interface so that the
// census and the pass-through logic run against a fake in the unit tests.
#pragma once

#include <cstdint>
#include <memory>

namespace sptiaspi {

// An open drive; 0 is none.
using DeviceHandle = std::uintptr_t;

class DeviceIo {
public:
  virtual ~DeviceIo() = default;

  // False on the 95/98/ME family, which has no SCSI pass-through interface.
  virtual bool HasPassThrough() = 0;
  // Bit n set: drive letter 'A' + n exists.
  virtual std::uint32_t LogicalDrives() = 0;
  virtual bool IsCdRom(char letter) = 0;
  // Opens \\.\X: for reading and writing, sharing both. 0 and the system
  // error code in `error` when refused.
  virtual DeviceHandle Open(char letter, std::uint32_t &error) = 0;
  virtual void Close(DeviceHandle handle) = 0;
  // One DeviceIoControl: 0 on success, else the system error code.
  virtual std::uint32_t Control(DeviceHandle handle, std::uint32_t code, void *in,
                                std::uint32_t inSize, void *out, std::uint32_t outSize,
                                std::uint32_t &returned) = 0;
  // The manager's own box, shown once when no drive could be opened for
  // lack of rights.
  virtual void TellUser(const char *caption, const char *text) = 0;
};

std::unique_ptr<DeviceIo> MakeWin32DeviceIo();

} // namespace sptiaspi
