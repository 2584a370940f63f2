// The ASPI pass-through layer: request block layouts shared byte for byte
// with the manager, the serialised submission routine, the manager binding
// and census, and the drive operations that the other units build on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// --- published ASPI constants ----------------------------------------------
constexpr std::uint8_t SC_HA_INQUIRY = 0x00;
constexpr std::uint8_t SC_GET_DEV_TYPE = 0x01;
constexpr std::uint8_t SC_EXEC_SCSI_CMD = 0x02;

constexpr std::uint8_t SS_PENDING = 0x00;
constexpr std::uint8_t SS_COMP = 0x01;
constexpr std::uint8_t SS_ASPI_IS_BUSY = 0xE5;

constexpr std::uint8_t SRB_DIR_IN = 0x08;
constexpr std::uint8_t SRB_DIR_OUT = 0x10;
constexpr std::uint8_t SRB_EVENT_NOTIFY = 0x40;

constexpr std::size_t SENSE_LEN = 32;

// --- request blocks (packed to 1 byte) -------------------------------------
#pragma pack(push, 1)
struct SRB_HAInquiry {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t HA_Count;
  std::uint8_t HA_SCSI_ID;
  std::uint8_t HA_ManagerId[16];
  std::uint8_t HA_Identifier[16];
  std::uint8_t HA_Unique[16];
  std::uint16_t HA_Rsvd1;
};

struct SRB_GDEVBlock {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  std::uint8_t SRB_DeviceType;
  std::uint8_t SRB_Rsvd1[16];
};

struct SRB_ExecSCSICmd {
  std::uint8_t SRB_Cmd;
  std::uint8_t SRB_Status;
  std::uint8_t SRB_HaId;
  std::uint8_t SRB_Flags;
  std::uint32_t SRB_Hdr_Rsvd;
  std::uint8_t SRB_Target;
  std::uint8_t SRB_Lun;
  std::uint16_t SRB_Rsvd1;
  std::uint32_t SRB_BufLen;
  void *SRB_BufPointer;
  std::uint8_t SRB_SenseLen;
  std::uint8_t SRB_CDBLen;
  std::uint8_t SRB_HaStat;
  std::uint8_t SRB_TargStat;
  void *SRB_PostProc;
  std::uint8_t SRB_Rsvd2[20];
  std::uint8_t CDBByte[16];
  std::uint8_t SenseArea[SENSE_LEN];
};
#pragma pack(pop)

static_assert(sizeof(SRB_HAInquiry) == 60);
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26);
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42);
static_assert(sizeof(SRB_GDEVBlock) == 27);
static_assert(offsetof(SRB_GDEVBlock, SRB_DeviceType) == 10);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16);
// The two pointer-sized fields widen on a 64-bit target and move what follows.
constexpr std::size_t kPtrGrow = sizeof(void *) - 4;
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20 + kPtrGrow);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21 + kPtrGrow);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24 + kPtrGrow);
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 28 + 2 * kPtrGrow);
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48 + 2 * kPtrGrow);
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64 + 2 * kPtrGrow);
static_assert(sizeof(SRB_ExecSCSICmd) == 96 + 2 * kPtrGrow);

namespace platform {
struct Event;
}

// --- submission (request block and submission) -----------------------------
std::uint32_t SubmitRequest(void *block);

// The three completion waits. Each reads SRB_Status afresh on every pass and
// returns true exactly when it ended as SS_COMP. A request still pending when
// its wait's time limit passes counts as failed and stays abandoned. The
// limit is the caller's choice of policy: a query (the event wait always is
// one) gets 2 minutes, a firmware-sending command 10. After the first
// abandoned request the run's later query waits are short (5 s, and 60 s for
// all of them together). While a wait passes its time the program's windows
// keep answering the window system (platform::AwaitRequest).
enum class WaitPolicy { Query, Firmware };
//
// Event notification: the caller created `event` (platform::CreateManualResetEvent),
// put platform::EventPostProc(event) in SRB_PostProc and SRB_EVENT_NOTIFY in
// SRB_Flags before submitting. The event is waited on only when the submission
// returned SS_PENDING; any other value means the request has already ended.
// The caller still closes the event, unless the request is still pending.
bool CompleteByEvent(SRB_ExecSCSICmd *block, platform::Event *event, std::uint32_t submitResult);
// Polling: `block` is any of the three request blocks (SRB_Status at byte 1).
// The first read comes at once; while SS_PENDING, sleep `sleepMs` (10, or 0 to
// give up the time slice) and read again.
bool CompleteByPolling(void *block, unsigned sleepMs, WaitPolicy policy);

// --- binding and census -----------------------------------------------------
// ASPI numbers at most 16 host adapters of 16 targets each.
constexpr std::uint8_t MaxAdapters = 16;
constexpr std::uint8_t TargetsPerAdapter = 16;

extern std::uint8_t AdapterCount;
extern bool AtapiAdapter[MaxAdapters];
extern std::int32_t DeviceTypeTable[MaxAdapters][TargetsPerAdapter];

bool InitAspi(bool Quiet);
std::int32_t LookupDeviceType(std::uint8_t adapter, std::uint8_t target);
bool HaInquiry(std::uint8_t adapter, SRB_HAInquiry *block);
std::int32_t GetDeviceType(std::uint8_t adapter, std::uint8_t target);
// The device node that serves a target, from the bound manager when it has
// the entry for it (our Linux managers do), and whether this process may
// read and write that node. False when the manager does not say; nothing is
// sent to the drive either way.
bool DeviceNodeOf(std::uint8_t adapter, std::uint8_t target, std::string &node, bool &writable);

// --- drive operations --------------------------------------------------------
// The INQUIRY data the program asks a drive for.
constexpr std::uint8_t InquiryDataLength = 62;

bool Inquiry(std::uint8_t adapter, std::uint8_t target, std::uint8_t *data /*InquiryDataLength*/);
bool TestUnitReady(std::uint8_t adapter, std::uint8_t target);
bool ReadDriveMemory(std::uint8_t adapter, std::uint8_t target, std::uint32_t address,
                     std::uint16_t length, std::uint8_t *data);
bool WriteDriveMemory(std::uint8_t adapter, std::uint8_t target, std::uint32_t address,
                      std::uint16_t length, const std::uint8_t *data);

// Process start and end work of the layer (AspiLock).
void InitPassThrough();
void DonePassThrough();

#ifdef FWUPD_TEST_HOOKS
// Test-only access to the binding and to the layer's sleeps.
namespace wnaspi95_test {
using InfoEntry = std::uint32_t (*)();
using SendEntry = std::uint32_t (*)(void *);
using SleepRecorder = void (*)(unsigned ms);
// Back to unbound: frees a loaded library, clears the entries and the census.
void ResetBinding();
// In-process entry points stand in for a loaded library: SubmitRequest and
// HaInquiry call `send` at once, and InitAspi binds these two (either may be
// nullptr, as if not exported) instead of loading a library.
void BindEntries(InfoEntry info, SendEntry send);
// Every sleep of the pass-through layer (busy retry, polling) goes to the
// recorder instead of the operating system while one is set; nullptr restores.
void SetSleepRecorder(SleepRecorder recorder);
// Every completion wait gives up after `ms` instead of its own limit (the
// shorter limits after an abandoned request keep their share of the query
// limit: 5 s and 60 s of 2 minutes); 0 restores the
// limits. Either way the run trusts its manager again. FWUPD_TEST_WAIT_LIMIT_MS
// in the environment does the same for a whole program.
void SetWaitLimitMs(unsigned ms);
} // namespace wnaspi95_test
#endif
