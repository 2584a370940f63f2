// Binding the ASPI manager and the census of host adapters and targets.
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include "WinGen/WinGen.h"
#include "platform/kernel.h"

#include <cstring>
#include <string>

std::uint8_t AdapterCount = 0;
bool AtapiAdapter[MaxAdapters] = {};
std::int32_t DeviceTypeTable[MaxAdapters][TargetsPerAdapter] = {};
SendASPI32CommandEntry AspiSend = nullptr;

namespace {

constexpr unsigned kCensusPollMs = 10;
constexpr std::size_t kGdevAreaSize = 65536;
constexpr std::size_t kGdevOffset = 32000;

platform::Library *AspiLibrary = nullptr;
bool Bound = false;
GetASPI32SupportInfoEntry AspiSupportInfo = nullptr;

#ifdef FWUPD_TEST_HOOKS
// In-process entries a test binds instead of a library.
GetASPI32SupportInfoEntry InjectedInfo = nullptr;
SendASPI32CommandEntry InjectedSend = nullptr;
bool Injected = false;
#endif

void ErrorBox(bool quiet, const char *text) {
  if (!quiet)
    platform::SystemMessageBox(text, "Error");
}

// Loads the manager and looks up its entries; false when no library loads.
bool LoadManager() {
#ifdef FWUPD_TEST_HOOKS
  if (Injected) {
    AspiSupportInfo = InjectedInfo;
    AspiSend = InjectedSend;
    return true;
  }
#endif
  AspiLibrary = platform::LoadLibraryByName("WNASPI32.DLL");
  if (AspiLibrary == nullptr)
    AspiLibrary = platform::LoadLibraryByName("CDRAL.DLL");
  if (AspiLibrary == nullptr)
    return false;
  AspiSupportInfo = reinterpret_cast<GetASPI32SupportInfoEntry>(
      platform::LookupEntry(AspiLibrary, "GetASPI32SupportInfo"));
  AspiSend = reinterpret_cast<SendASPI32CommandEntry>(
      platform::LookupEntry(AspiLibrary, "SendASPI32Command"));
  return true;
}

void UnloadManager() {
  platform::FreeLibraryHandle(AspiLibrary);
  AspiLibrary = nullptr;
  AspiSupportInfo = nullptr;
  AspiSend = nullptr;
#ifdef FWUPD_TEST_HOOKS
  if (Injected)
    AspiSend = InjectedSend;
#endif
}

// The identifier text: its bytes up to the first zero byte, at most all 16.
std::string IdentifierText(const SRB_HAInquiry &block) {
  const auto *id = reinterpret_cast<const char *>(block.HA_Identifier);
  std::size_t n = 0;
  while (n < sizeof block.HA_Identifier && id[n] != '\0')
    ++n;
  return std::string(id, n);
}

bool TakesTwelveByteBlocks(std::uint8_t adapter) {
  SRB_HAInquiry block{};
  if (!HaInquiry(adapter, &block))
    return true;
  const std::string text = UpperText(IdentifierText(block));
  for (const char *kind : {"ESDI", "ATAPI", "USB", "EUIOSMSD"})
    if (text.find(kind) != std::string::npos)
      return true;
  return false;
}

} // namespace

bool InitAspi(bool Quiet) {
  if (Bound)
    return true;
  if (!LoadManager()) {
    ErrorBox(Quiet, "Error loading WNASPI32.DLL");
    return false;
  }
  // Without SendASPI32Command no request could be made: such a library is
  // as invalid as one without GetASPI32SupportInfo.
  if (AspiSupportInfo != nullptr && AspiSend != nullptr) {
    AdapterCount = static_cast<std::uint8_t>(AspiSupportInfo() & 0xFF);
  } else {
    AdapterCount = 0;
    ErrorBox(Quiet, "WNASPI32.DLL is invalid");
  }
  if (AdapterCount == 0) {
    ErrorBox(Quiet, "No SCSI host adapters found.");
    UnloadManager();
    return false;
  }
  if (AdapterCount > MaxAdapters)
    AdapterCount = MaxAdapters;
  for (std::uint8_t a = 0; a < AdapterCount; ++a)
    AtapiAdapter[a] = TakesTwelveByteBlocks(a);
  for (std::uint8_t a = 0; a < AdapterCount; ++a)
    for (std::uint8_t t = 0; t < TargetsPerAdapter; ++t)
      DeviceTypeTable[a][t] = GetDeviceType(a, t);
  Bound = true;
  return true;
}

void *ManagerEntry(const char *name) {
  return AspiLibrary != nullptr ? platform::LookupEntry(AspiLibrary, name) : nullptr;
}

std::int32_t LookupDeviceType(std::uint8_t adapter, std::uint8_t target) {
  if (adapter >= AdapterCount || target >= TargetsPerAdapter)
    return -1;
  return DeviceTypeTable[adapter][target];
}

bool HaInquiry(std::uint8_t adapter, SRB_HAInquiry *block) {
  // Request memory, zero-filled and never reused (a manager may write late).
  auto *request =
      static_cast<SRB_HAInquiry *>(platform::ObtainRequestMemory(sizeof(SRB_HAInquiry)));
  request->SRB_Cmd = SC_HA_INQUIRY;
  request->SRB_HaId = adapter;
  // Straight to the manager: no AspiLock, no busy retry.
  if (AspiSend != nullptr)
    SettleRefused(request, AspiSend(request));
  else
    WriteStatus(request, SS_ERR);
  const bool ok = CompleteByPolling(request, kCensusPollMs, WaitPolicy::Query);
  std::memcpy(block, request, sizeof *block);
  return ok;
}

std::int32_t GetDeviceType(std::uint8_t adapter, std::uint8_t target) {
  // Request memory: zero-filled and never reused; the pages of the area
  // around the block are never touched, so they cost no physical memory.
  auto *area = static_cast<std::uint8_t *>(platform::ObtainRequestMemory(kGdevAreaSize));
  auto *request = reinterpret_cast<SRB_GDEVBlock *>(area + kGdevOffset);
  request->SRB_Cmd = SC_GET_DEV_TYPE;
  request->SRB_HaId = adapter;
  request->SRB_Target = target;
  SubmitRequest(request);
  if (!CompleteByPolling(request, kCensusPollMs, WaitPolicy::Query))
    return -1;
  return request->SRB_DeviceType;
}

#ifdef FWUPD_TEST_HOOKS
namespace wnaspi95_test {

void ResetBinding() {
  Injected = false;
  InjectedInfo = nullptr;
  InjectedSend = nullptr;
  UnloadManager();
  Bound = false;
  AdapterCount = 0;
  std::memset(AtapiAdapter, 0, sizeof AtapiAdapter);
  std::memset(DeviceTypeTable, 0, sizeof DeviceTypeTable);
}

void BindEntries(InfoEntry info, SendEntry send) {
  Injected = true;
  InjectedInfo = info;
  InjectedSend = send;
  AspiSend = send;
}

} // namespace wnaspi95_test
#endif
