// A device-I/O layer with scripted drives: drive letters, SCSI addresses,
// adapter answers and the outcome of each pass-through request. It records
// what the manager asked for.
#pragma once

#include "device_io.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace sptiaspi::testing {

struct FakeDrive {
  bool cdRom = true;
  std::uint32_t openError = 0; // refuses to open with this error
  std::uint8_t port = 0, path = 0, target = 0, lun = 0;
  int busType = -1; // -1: the storage property query is unsupported
  std::uint32_t alignmentMask = 0, maxTransfer = 0x10000;
  std::uint8_t peripheralType = 5;
};

// What a pass-through request saw, and what it answers.
struct SentCommand {
  std::uint32_t ioctl;
  std::vector<std::uint8_t> cdb;
  std::uint8_t dataIn;
  std::uint32_t timeoutSeconds;
  std::uintptr_t directBuffer; // the caller's buffer, for the direct form
  std::vector<std::uint8_t> dataOut;
};

// Any other request: the drive's letter, the code and the input bytes.
struct ControlCall {
  char drive;
  std::uint32_t code;
  std::vector<std::uint8_t> in;
};

struct Answer {
  std::uint32_t error = 0;
  std::uint8_t scsiStatus = 0;
  std::vector<std::uint8_t> sense;
  std::vector<std::uint8_t> dataIn;
};

class FakeDeviceIo : public DeviceIo {
public:
  bool passThrough = true;
  std::map<char, FakeDrive> drives;
  std::vector<std::string> boxes;
  std::vector<SentCommand> sent;
  std::function<Answer(const SentCommand &)> answer = [](const SentCommand &) { return Answer{}; };
  bool scriptInquiry = false; // INQUIRY goes to `answer` too
  std::vector<ControlCall> controls;
  // What other requests answer; by default they are unknown to the system.
  std::map<std::uint32_t, std::uint32_t> controlErrors;
  int open = 0; // handles open

  bool HasPassThrough() override { return passThrough; }
  std::uint32_t LogicalDrives() override;
  bool IsCdRom(char letter) override { return drives.at(letter).cdRom; }
  DeviceHandle Open(char letter, std::uint32_t &error) override;
  void Close(DeviceHandle) override { --open; }
  std::uint32_t Control(DeviceHandle handle, std::uint32_t code, void *in, std::uint32_t inSize,
                        void *out, std::uint32_t outSize, std::uint32_t &returned) override;
  void TellUser(const char *caption, const char *text) override {
    boxes.push_back(std::string(caption) + ": " + text);
  }

private:
  std::uint32_t PassThrough(const FakeDrive &d, std::uint32_t code, void *request,
                            std::uint32_t size);
};

} // namespace sptiaspi::testing
