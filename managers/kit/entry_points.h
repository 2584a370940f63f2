// What the managers' two ASPI entry points share: the support-info answer,
// the host adapter texts, the checks of an execute request before it goes
// anywhere, and the hand-over of a request to its command's handler.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "final_status.h"
#include "srb_layout.h"

namespace aspikit {

// The SCSI status of a drive that cannot take a command now.
constexpr std::uint8_t kStatusBusy = 0x08;

// GetASPI32SupportInfo: SS_COMP and the adapter count, or SS_NO_ADAPTERS.
std::uint32_t SupportInfoFor(std::size_t adapterCount);

// An HA_ManagerId or HA_Identifier field: the text cut to 16 bytes, NUL-padded.
void CopyText(std::uint8_t *field, const std::string &text);

// A malformed execute request: no command bytes or more than fit the block,
// a length without a buffer, or both directions at once.
bool BadExecRequest(const ExecRequest &req);

// Hands the request block to the handler of its command, called as
// handler(manager, block) (a member function or a free one); any other
// command ends as SS_INVALID_CMD.
template <class Manager, class Handler>
std::uint32_t DispatchCommand(Manager &manager, std::uint8_t *block, Handler haInquiry,
                              Handler getDeviceType, Handler execScsiCmd) {
  switch (block[kCmd]) {
  case SC_HA_INQUIRY:
    return std::invoke(haInquiry, manager, block);
  case SC_GET_DEV_TYPE:
    return std::invoke(getDeviceType, manager, block);
  case SC_EXEC_SCSI_CMD:
    return std::invoke(execScsiCmd, manager, block);
  default:
    PublishStatus(block, SS_INVALID_CMD);
    return SS_INVALID_CMD;
  }
}

} // namespace aspikit
