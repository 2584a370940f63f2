// The simulated manager's process-wide state, set up from the scenario on
// the first call into the library.
#pragma once

#include <cstdint>

namespace simaspi {

uint32_t AnswerSupportInfo(bool reportZeroAdapters);
uint32_t AnswerCommand(void *srb);
uint32_t AnswerDeviceNode(uint8_t ha, uint8_t target, char *path, uint32_t size);

} // namespace simaspi
