// The two transfer procedures: the standard WRITE BUFFER microcode download
// and the maker's programming-mode block transfer. Both stream the image file
// through TransferBuffer one 32768-byte block at a time and never look at the
// bytes they send.
#include "Unit1/Unit1.h"

#include "Unit1/image_fingerprint.h"
#include "WinGen/WinGen.h"
#include "platform/kernel.h"
#include "platform/runtime.h"
#include "platform/toolkit/toolkit.h"
#include "wnaspi95/wnaspi95.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

// WRITE BUFFER carries a 24-bit buffer offset: no block may start at 2^24.
constexpr std::int64_t MaxDownloadSize = std::int64_t{1} << 24;
// The programming-mode label counts bytes in a signed 32-bit number, and the
// block address is 32 bits wide: a larger image could be neither counted nor
// addressed. Anything smaller is the drive's to judge.
constexpr std::int64_t MaxProgramSize = INT32_MAX;

void Pump() {
  toolkit::Application->ProcessMessages();
}

// Every box of a transfer tells its outcome: the drive has had its last
// command, so what held the transfer ends first.
void OutcomeBox(const std::string &text, toolkit::MsgDlgType type) {
  platform::EndTransferHold(text);
  toolkit::MessageDlg(text, type);
}

void ErrorBox(const std::string &text) {
  OutcomeBox(text, toolkit::MsgDlgType::mtError);
}

void InfoBox(const std::string &text) {
  OutcomeBox(text, toolkit::MsgDlgType::mtInformation);
}

// Sense byte 2, ASC and ASCQ in upper-case hex without prefix or leading zeros.
std::string SendingErrorText(std::uint8_t senseKey, std::uint8_t asc, std::uint8_t ascq) {
  char text[64];
  std::snprintf(text, sizeof text, "Error sending firmware (%X : %X : %X)", unsigned{senseKey},
                unsigned{asc}, unsigned{ascq});
  return text;
}

void CloseQuietly(platform::File *file) {
  int error = 0;
  platform::CloseFile(file, &error);
}

std::string Quoted(const std::string &text) {
  return "\"" + text + "\"";
}

// Opens the image the way both procedures do, with its size: only a whole,
// finished file is sent. Shows the refusal on failure.
platform::File *OpenImage(const std::string &fileName, std::int64_t &size) {
  auto refusal = platform::ImageRefusal::None;
  platform::File *file = platform::OpenImageFile(fileName.c_str(), &refusal);
  if (file == nullptr) {
    ErrorBox(refusal == platform::ImageRefusal::StillBeingWritten
                 ? Quoted(fileName) +
                       " is still being written by another program. Wait until the copy or "
                       "download has finished, then start the update again. The drive was not "
                       "updated."
                 : "Error opening firmware file.");
    return nullptr;
  }
  size = platform::FileSizeOrRaise(file);
  if (size == 0) {
    CloseQuietly(file);
    ErrorBox(Quoted(fileName) + " is empty: the copy or download of the firmware image did not "
                                "complete. The drive was not updated.");
    return nullptr;
  }
  return file;
}

// The image must keep the size it had when opened until the drive has had
// its committing command: one that grows meanwhile is still being written.
bool SizeUnchanged(platform::File *file, std::int64_t size) {
  return platform::FileSizeOrRaise(file) == size;
}

// Reads the image's next block into TransferBuffer and leaves the file
// position after it in `end`. True when the block is whole (`wanted` bytes),
// the file still has its size, and the block holds the bytes the image held
// when it was opened; a file that shrank or was rewritten fails here, so the
// drive never takes a short or mixed image for the whole.
bool ReadBlockAsOpened(platform::File *file, std::int64_t size, const ImageFingerprint &opened,
                       std::size_t wanted, std::int64_t &end) {
  const std::size_t got = platform::BlockRead(file, TransferBuffer, wanted);
  end = platform::FilePosOrRaise(file);
  return got == wanted && SizeUnchanged(file, size) &&
         BlockUnchanged(opened,
                        static_cast<std::size_t>((end - std::int64_t(wanted)) / TransferBlockSize),
                        TransferBuffer, got);
}

// Every failure after the file was opened: the image is closed (quietly: the
// run ends right after the box) and the error shown.
void FailTransfer(platform::File *file, const std::string &text) {
  CloseQuietly(file);
  ErrorBox(text);
}

// Runs a transfer on the open image; an input/output error still leaves it
// uncaught, with the image closed.
template <class Transfer> auto WithImage(platform::File *file, Transfer transfer) {
  try {
    return transfer();
  } catch (const platform::InOutError &) {
    CloseQuietly(file);
    throw;
  }
}

// The opening steps common to both procedures, after the file is open.
void AnnounceTransfer(TForm1 *window, std::int32_t adapter, std::int32_t target) {
  TestUnitReady(static_cast<std::uint8_t>(adapter), static_cast<std::uint8_t>(target));
  window->Label2->SetCaption("Found device at (" + NumText(adapter) + "," + NumText(target) + ")");
  window->Label3->SetCaption("Starting firmware transfer.");
  for (int i = 0; i < 4; ++i) {
    Pump();
  }
}

TransferEnd DownloadImage(TForm1 *window, platform::File *file, std::int64_t size,
                          std::int32_t adapter, std::int32_t target) {
  AnnounceTransfer(window, adapter, target);

  // Refused before any block goes out: a larger image would wrap the offset
  // and overwrite the start of the drive's buffer.
  ImageFingerprint opened;
  if (size > MaxDownloadSize || !TakeFingerprint(file, size, opened)) {
    FailTransfer(file, SendingErrorText(0, 0, 0));
    return TransferEnd::FileUnusable;
  }
  const auto ha = static_cast<std::uint8_t>(adapter);
  const auto tgt = static_cast<std::uint8_t>(target);
  std::int32_t remaining = static_cast<std::int32_t>(size);
  while (remaining > 0) {
    // Exactly the bytes the image held when it was opened: what is appended
    // meanwhile (the sharing mode allows it) is not sent.
    const std::size_t wanted = std::min<std::size_t>(TransferBlockSize, std::size_t(remaining));
    std::int64_t end = 0;
    if (!ReadBlockAsOpened(file, size, opened, wanted, end) || end > MaxDownloadSize) {
      FailTransfer(file, SendingErrorText(0, 0, 0));
      return TransferEnd::Failed;
    }
    const auto n = static_cast<std::int32_t>(wanted);
    remaining -= n;
    const bool last = remaining <= 0;
    const auto start = static_cast<std::int32_t>(end) - n;
    window->Label3->SetCaption("Transferring bytes " + NumText(start) + "-" +
                               NumText(static_cast<std::int32_t>(end)));
    Pump();
    std::uint8_t senseKey = 0, asc = 0, ascq = 0;
    if (!WriteBuffer(ha, tgt, static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(n),
                     last, senseKey, asc, ascq)) {
      FailTransfer(file, SendingErrorText(senseKey, asc, ascq));
      return TransferEnd::Failed;
    }
  }
  Pump();
  platform::CloseFileOrRaise(file);
  InfoBox("Firmware update successfull.");
  return TransferEnd::Completed;
}

TransferEnd ProgramImage(TForm1 *window, platform::File *file, std::int64_t size,
                         std::int32_t adapter, std::int32_t target) {
  AnnounceTransfer(window, adapter, target);

  // The size is taken once, at the open: exactly the bytes the image held
  // then are sent, and a file that changes meanwhile is not committed. The
  // image is read through once before the drive is put into a firmware send,
  // so that a file that fails or ends early leaves the drive as it was.
  ImageFingerprint opened;
  if (size > MaxProgramSize || !TakeFingerprint(file, size, opened)) {
    FailTransfer(file, "Error sending firmware.");
    return TransferEnd::FileUnusable;
  }
  const auto ha = static_cast<std::uint8_t>(adapter);
  const auto tgt = static_cast<std::uint8_t>(target);
  if (!StartFirmwareSend(ha, tgt)) {
    FailTransfer(file, "Error starting firmware send.");
    return TransferEnd::Failed;
  }
  for (std::int64_t at = platform::FilePosOrRaise(file); at < size;
       at = platform::FilePosOrRaise(file)) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::int64_t>(TransferBlockSize, size - at));
    // A block that fails here never gets 0xE4 after it.
    std::int64_t end = 0;
    if (!ReadBlockAsOpened(file, size, opened, wanted, end)) {
      FailTransfer(file, "Error sending firmware.");
      return TransferEnd::Failed;
    }
    window->Label3->SetCaption(NumText(static_cast<std::int32_t>(end)) + " bytes transferred");
    Pump();
    const auto address = static_cast<std::uint32_t>(end - static_cast<std::int64_t>(wanted));
    if (!SendFirmwareBlock(ha, tgt, address, static_cast<std::uint16_t>(wanted))) {
      FailTransfer(file, "Error sending firmware.");
      return TransferEnd::Failed;
    }
  }
  window->Label3->SetCaption("Ending firmware transfer.");
  Pump();
  if (!SizeUnchanged(file, size)) {
    FailTransfer(file, "Error sending firmware.");
    return TransferEnd::Failed;
  }
  if (!EndFirmwareSend(ha, tgt)) {
    FailTransfer(file, "Error ending firmware send.");
    return TransferEnd::Failed;
  }
  platform::CloseFileOrRaise(file);
  InfoBox("Firmware update successfull. Power down the drive and remove firmware jumper to use "
          "drive normally.");
  return TransferEnd::Completed;
}

} // namespace

bool ImageReadyToSend(const std::string &fileName) {
  std::int64_t size = 0;
  platform::File *file = OpenImage(fileName, size);
  if (file == nullptr) {
    return false;
  }
  CloseQuietly(file);
  return true;
}

namespace {

// Opens the image and runs one procedure's transfer on it with its size at
// the open; an image that cannot be used ends the run before anything is sent.
template <class Transfer>
TransferEnd OnOpenedImage(const std::string &fileName, Transfer transfer) {
  std::int64_t size = 0;
  platform::File *file = OpenImage(fileName, size);
  if (file == nullptr) {
    return TransferEnd::FileUnusable;
  }
  return WithImage(file, [&] { return transfer(file, size); });
}

} // namespace

TransferEnd DownloadMicrocode(TForm1 *window, const std::string &fileName, std::int32_t adapter,
                              std::int32_t target) {
  return OnOpenedImage(fileName, [&](platform::File *file, std::int64_t size) {
    return DownloadImage(window, file, size, adapter, target);
  });
}

TransferEnd ProgramModeTransfer(TForm1 *window, const std::string &fileName, std::int32_t adapter,
                                std::int32_t target) {
  return OnOpenedImage(fileName, [&](platform::File *file, std::int64_t size) {
    return ProgramImage(window, file, size, adapter, target);
  });
}
