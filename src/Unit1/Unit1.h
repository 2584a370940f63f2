// The progress window, the two transfer procedures and the firmware-sending
// drive operations with the shared TransferBuffer.
#pragma once

#include "platform/toolkit/toolkit.h"

#include <cstdint>
#include <string>

class TForm1 : public toolkit::TForm {
public:
  TForm1();
  toolkit::TLabel *Label2;
  toolkit::TLabel *Label3;
};

extern TForm1 *Form1;

constexpr std::uint32_t TransferBlockSize = 32768;
extern std::uint8_t TransferBuffer[TransferBlockSize];

bool StartFirmwareSend(std::uint8_t adapter, std::uint8_t target);
bool SendFirmwareBlock(std::uint8_t adapter, std::uint8_t target, std::uint32_t address,
                       std::uint16_t length);
bool EndFirmwareSend(std::uint8_t adapter, std::uint8_t target);
bool WriteBuffer(std::uint8_t adapter, std::uint8_t target, std::uint32_t offset,
                 std::uint32_t length, bool last, std::uint8_t &senseKey, std::uint8_t &asc,
                 std::uint8_t &ascq);

// Whether the image is a whole, finished plain file that can be opened as
// the transfer opens it; otherwise the refusal has been shown.
bool ImageReadyToSend(const std::string &fileName);

// How a transfer ended, after its box: the caller turns it into the run's
// exit status (the drive's state after a failure depends on the procedure).
enum class TransferEnd {
  Completed,    // every command completed, the committing one included
  FileUnusable, // the image could not be opened or read whole: nothing was sent
  Failed,       // a command failed, or the image changed under the transfer
};

TransferEnd DownloadMicrocode(TForm1 *window, const std::string &fileName, std::int32_t adapter,
                              std::int32_t target);
TransferEnd ProgramModeTransfer(TForm1 *window, const std::string &fileName, std::int32_t adapter,
                                std::int32_t target);

void OpenProgressWindow(const std::string &title);
