// What a pass-through request came back with, as an ASPI request ends:
// SRB_Status, SRB_HaStat, SRB_TargStat and sense in fixed format.
#pragma once

#include <cstdint>

#include "pass_through.h"
#include "srb_layout.h"
#include "trouble.h"

namespace sptiaspi {

struct ExecResult {
  std::uint8_t status, haStat, targStat;
  std::uint8_t sense[aspikit::kSenseAreaSize];
  std::uint8_t senseBytes;
};

ExecResult MapOutcome(const PassThroughOutcome &outcome);

// Why a request failed that the system refused or gave up on (a system
// error), where the outcome itself says nothing the program can show.
aspikit::Cause CauseOfSystemError(std::uint32_t error);

} // namespace sptiaspi
