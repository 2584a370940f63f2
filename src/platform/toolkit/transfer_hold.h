// A form shown modeless is the progress window: a firmware transfer runs
// while it is on screen and the process ends right after. From its showing
// until it is gone the machine is held awake (platform::HoldOffIdleSleep),
// and signals from outside wait (platform::HoldTerminatingSignals) until the
// program has reported the outcome (platform::RunProgram releases them).
// The Windows backend's windows do this and more (transfer_guard.h).
#pragma once

#include "platform/kernel.h"

namespace toolkit {

class TransferHold {
public:
  TransferHold() = default;
  TransferHold(const TransferHold &) = delete;
  TransferHold &operator=(const TransferHold &) = delete;
  ~TransferHold() {
    if (Held) {
      platform::HoldOffIdleSleep(false);
      platform::HoldTerminatingSignals(false);
    }
  }
  void Begin() {
    if (!Held) {
      platform::HoldTerminatingSignals(true);
      platform::HoldOffIdleSleep(true);
    }
    Held = true;
  }

private:
  bool Held = false;
};

} // namespace toolkit
