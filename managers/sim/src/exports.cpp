// The two entry points of the manager. The variants leave one out or report
// no adapters, to exercise the caller's handling of a broken manager.
#include "manager.h"

#include <cstdint>

#ifdef _WIN32
#define SIMASPI_EXPORT extern "C" __declspec(dllexport)
#else
#define SIMASPI_EXPORT extern "C" __attribute__((visibility("default")))
#endif

#ifndef SIMASPI_WITHOUT_SUPPORT_INFO
SIMASPI_EXPORT uint32_t GetASPI32SupportInfo(void) {
#ifdef SIMASPI_ZERO_ADAPTERS
  return simaspi::AnswerSupportInfo(true);
#else
  return simaspi::AnswerSupportInfo(false);
#endif
}
#endif

#ifndef SIMASPI_WITHOUT_SEND
SIMASPI_EXPORT uint32_t SendASPI32Command(void *srb) {
  return simaspi::AnswerCommand(srb);
}
#endif

SIMASPI_EXPORT uint32_t GetASPI32DeviceNode(uint8_t ha, uint8_t target, char *path, uint32_t size) {
  return simaspi::AnswerDeviceNode(ha, target, path, size);
}
