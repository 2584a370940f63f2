// Optional diagnostic log: with SGASPI_LOG=path every execute request adds
// one line with adapter, target, command block, outcome and sense.
#pragma once

#include <cstdint>
#include <string>

#include "srb_layout.h"
#include "status_map.h"

namespace sgaspi {

std::string FormatExecLine(const ExecRequest &req, const ExecResult &res, const SgOutcome &raw);

void LogLine(const std::string &line); // no-op without SGASPI_LOG

} // namespace sgaspi
