// What a failed SG_IO or open says about why an update stopped, and who
// holds a drive that another program has open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "trouble.h"

namespace sgaspi {

// `err` is the errno of SG_IO or of the node's open (0 when none), the other
// two the host and driver status SG_IO reported.
aspikit::Cause CauseOf(int err, std::uint16_t hostStatus, std::uint16_t driverStatus);

// The programs other than `self` that have one of `paths` open, as
// "name (pid N)" separated by ", ", read from `procRoot` ("/proc"). Only what
// the system lets this user see: other users' programs stay unnamed.
std::string HoldersOf(const std::string &procRoot, const std::vector<std::string> &paths, int self);

} // namespace sgaspi
