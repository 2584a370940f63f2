// Optional diagnostic log: with SGASPI_LOG=path every execute request adds
// one line with adapter, target, command block, outcome and sense.
#pragma once

#include <cstdint>
#include <string>

#include "sg_transport.h"

namespace sgaspi {

std::string FormatExecLine(const aspikit::ExecRequest &req, const ExecResult &res,
                           const SgOutcome &raw);

bool LogWanted();                      // SGASPI_LOG is set: lines are worth formatting
void LogLine(const std::string &line); // no-op without SGASPI_LOG

} // namespace sgaspi
