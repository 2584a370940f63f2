// Start-up and the model table: bind the pass-through layer, choose the row
// from the image file present (or from the file the user opened), find its
// drive, run the row's pre-check and hand over to the row's transfer
// procedure. Every path ends the run.
#include "fwupd32/fwupd32.h"

#include "fwupd32/exit_status.h"

#include "Unit1/Unit1.h"
#include "Unit2/Unit2.h"
#include "Unit3/Unit3.h"
#include "WinGen/WinGen.h"
#include "platform/kernel.h"
#include "platform/toolkit/toolkit.h"
#include "wnaspi95/wnaspi95.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

TDeviceAddress DeviceAddress;

namespace {

enum class PreCheck { None, RevisionRefuses1, RevisionRefuses0, DriveSettings };
enum class Transfer { Download, ProgramMode };

struct ModelRow {
  const char *ImageFile;
  const char *Drive; // the drive's name, as the user is told which image serves it
  const char *FirstSearch;
  const char *SecondSearch;     // nullptr: one search only
  const char *Title;            // of every window the row shows
  const char *NotFound;         // nullptr: the instructions window instead
  const char *NotFoundAppTitle; // nullptr: the application keeps its default title
  PreCheck Check;
  Transfer Procedure;
};

// Tested in this order; the first image file present chooses the row.
constexpr std::array<ModelRow, 11> ModelTable{{
    {"FIRMO16X.ROM", "ZOL-CDRM00417", "ZOL     CDRM00417", nullptr, "ZOL-CDRM00417 Firmware Update",
     "ZOL-CDRM00417 not found.", "Firmware update utilitiy.", PreCheck::None, Transfer::Download},
    {"FIRM16X.ROM", "QM-16", "QUILMAR CD-ROM QM-16", nullptr, "QM-16 Firmware Update",
     "           QM-16 not found.", nullptr, PreCheck::None, Transfer::Download},
    {"FIRM20X.ROM", "QM-20TS", "QUILMAR CD-ROM QM-20TS ", "QUILMAR CD-ROM QM-20CS ",
     "QM-20TS Firmware Update", "          QM-20TS not found.", nullptr, PreCheck::RevisionRefuses1,
     Transfer::Download},
    {"FIRM20.ROM", "QM-20TS", "QUILMAR CD-ROM QM-20TS ", "QUILMAR CD-ROM QM-20CS ",
     "QM-20TS Firmware Update", "          QM-20TS not found.", nullptr, PreCheck::RevisionRefuses0,
     Transfer::Download},
    {"FIRM20TW.ROM", "QM-20TSUW", "QUILMAR CD-ROM QM-20TSUW", "QUILMAR CD-ROM QM-20TW",
     "QM-20TSUW Firmware Update", "        QM-20TSUW not found.", nullptr, PreCheck::None,
     Transfer::Download},
    {"FIRMR610.ROM", "QM-R610T", "QM-R610T", nullptr, "QM-R610T Firmware Update",
     "        QM-R610T not found.", nullptr, PreCheck::None, Transfer::Download},
    {"FIRM2610.ROM", "QM-W2610T", "QM-W2610T", nullptr, "QM-W2610T Firmware Update",
     "      QM-W2610T not found.", nullptr, PreCheck::None, Transfer::Download},
    {"FIRM6610.ROM", "QM-W6610T", "QM-W6610T", nullptr, "QM-W6610T Firmware Update",
     "      QM-W6610T not found.", nullptr, PreCheck::None, Transfer::Download},
    {"FIRM6216.ROM", "QM-W6216T", "QUILMAR CD-R   QM-W6216T", nullptr, "QM-W6216T Firmware Update",
     "      QM-W6216T not found.", nullptr, PreCheck::DriveSettings, Transfer::Download},
    {"FIRM106.ROM", "QM-W106TS", "QUILMAR CD-R   QM-W106TS", nullptr, "QM-W106TS Firmware Update",
     "   QM-W106TS not found.", nullptr, PreCheck::None, Transfer::Download},
    {"FIRM206.ROM", "QM-R206C", "Program Mode1", nullptr, "QM-R206C Firmware Update", nullptr,
     nullptr, PreCheck::None, Transfer::ProgramMode},
}};

constexpr std::size_t RevisionByte = 34; // third byte of the product revision level
constexpr std::uint32_t DriveSettingsAddress = 74;

std::uint8_t DriveSettings[4]; // row 9 only

std::uint8_t HaByte() {
  return static_cast<std::uint8_t>(DeviceAddress.Adapter);
}
std::uint8_t TargetByte() {
  return static_cast<std::uint8_t>(DeviceAddress.Target);
}

// The row of a run and the file it updates; no row, no run.
struct Image {
  const ModelRow *Row = nullptr;
  std::string File;
};

// The first row, in table order, whose image lies in the working directory
// (named in any letter case).
Image ImageInWorkingDirectory() {
  for (const ModelRow &row : ModelTable) {
    std::string file = platform::FindPlainFile(row.ImageFile);
    if (!file.empty()) {
      return {&row, std::move(file)};
    }
  }
  return {};
}

std::string Quoted(const std::string &text) {
  return "\"" + text + "\"";
}

// What the user is told about a file whose name is none of the image names.
std::string UnknownNameText(const std::string &name) {
  std::string text = Quoted(name) +
                     " is not the name of a firmware image.\n\n"
                     "The updater knows its images by their file names, one name for each "
                     "drive (in any letter case):\n";
  for (const ImageName &image : ImageNames()) {
    text += std::string(image.File) + ": " + image.Drive + "\n";
  }
  return text + "\nRename the file to the name for its drive and open it again. Nothing was "
                "sent to any drive.";
}

// The file a user opened: the row its name chooses, in any letter case, and
// the file itself. A file that cannot be read or whose name is none of the
// image names gets an error box instead, and no row.
Image OpenedImage(const std::string &path) {
  const std::string name = path.substr(path.find_last_of('/') + 1);
  const std::string upperName = UpperText(name);
  int error = 0;
  std::string problem;
  if (!platform::PlainFileReadable(path.c_str(), &error)) {
    problem = error == 0
                  ? Quoted(path) + " is not a file."
                  : Quoted(path) + " cannot be read: " + platform::SystemErrorText(error) + ".";
  } else {
    for (const ModelRow &row : ModelTable) {
      if (upperName == row.ImageFile) {
        return {&row, path};
      }
    }
    problem = UnknownNameText(name);
  }
  toolkit::Application->Initialize();
  toolkit::MessageDlg(problem, toolkit::MsgDlgType::mtError);
  return {};
}

bool SearchDrive(const ModelRow &row) {
  if (FindDrive(row.FirstSearch, DeviceAddress.Adapter, DeviceAddress.Target)) {
    return true;
  }
  return row.SecondSearch != nullptr &&
         FindDrive(row.SecondSearch, DeviceAddress.Adapter, DeviceAddress.Target);
}

void ReportNotFound(const ModelRow &row) {
  if (row.NotFound == nullptr) {
    toolkit::Application->CreateForm(Form2);
    Form2->SetCaption(row.Title);
    Form2->ShowModal();
    return;
  }
  if (row.NotFoundAppTitle != nullptr) {
    toolkit::Application->SetTitle(row.NotFoundAppTitle);
  }
  ShowMessageWindow(row.Title, row.NotFound);
}

// Rows 3 and 4: a fresh INQUIRY; true when the revision byte refuses the drive,
// after the refusal window has been shown.
bool RevisionRefuses(const ModelRow &row, char refusedChar) {
  std::uint8_t inquiry[InquiryDataLength] = {};
  Inquiry(HaByte(), TargetByte(), inquiry);
  if (inquiry[RevisionByte] != static_cast<std::uint8_t>(refusedChar)) {
    return false;
  }
  toolkit::Application->CreateForm(Form3);
  Form3->SetCaption(row.Title);
  Form3->Label1->SetCaption("");
  Form3->Label2->SetCaption("This firmware upgrade does not apply to your drive.  Please visit "
                            "Quilmar Web Site to check availability of latest firmware for the "
                            "drive you have.");
  Form3->ShowModal();
  return true;
}

// Nothing more goes to the drive: the transfer's hold ends before the window.
void RefuseOverProgressWindow(const ModelRow &row, const std::string &headline) {
  platform::EndTransferHold(headline);
  ShowMessageWindow(row.Title, headline);
}

// Row 9: true when the settings allow the update (byte 2 cleared and written
// back, whatever the write returns); otherwise the reason has been shown.
bool DriveSettingsAllow(const ModelRow &row) {
  std::memset(DriveSettings, 0, sizeof DriveSettings);
  const bool read =
      ReadDriveMemory(HaByte(), TargetByte(), DriveSettingsAddress, 4, DriveSettings) ||
      ReadDriveMemory(HaByte(), TargetByte(), DriveSettingsAddress, 4, DriveSettings);
  if (!read) {
    RefuseOverProgressWindow(row, "Unable to recover drive settings.");
    return false;
  }
  if (DriveSettings[0] == 0) {
    RefuseOverProgressWindow(row, "Incorrect firmware for this drive.");
    return false;
  }
  DriveSettings[2] = 0;
  WriteDriveMemory(HaByte(), TargetByte(), DriveSettingsAddress, 4, DriveSettings);
  return true;
}

// The exit status of a transfer that has ended: a failed programming-mode
// transfer leaves the drive in its loader, a failed download leaves the
// drive's microcode as it was.
ExitStatus StatusOfTransfer(TransferEnd end, Transfer procedure) {
  switch (end) {
  case TransferEnd::Completed:
    return ExitStatus::Updated;
  case TransferEnd::FileUnusable:
    return ExitStatus::FileUnusable;
  case TransferEnd::Failed:
    break;
  }
  return procedure == Transfer::ProgramMode ? ExitStatus::LeftInProgramMode
                                            : ExitStatus::OldFirmwareKept;
}

ExitStatus RunRow(const Image &image) {
  const ModelRow &row = *image.Row;
  if (!SearchDrive(row)) {
    ReportNotFound(row);
    return ExitStatus::DriveNotFound;
  }
  // Before anything that changes the drive: only a whole, finished image.
  if (!ImageReadyToSend(image.File)) {
    return ExitStatus::FileUnusable;
  }
  if (row.Check == PreCheck::RevisionRefuses1 || row.Check == PreCheck::RevisionRefuses0) {
    if (RevisionRefuses(row, row.Check == PreCheck::RevisionRefuses1 ? '1' : '0')) {
      return ExitStatus::CheckRefused;
    }
  }
  // From the progress window until the drive has had its last command,
  // nothing ordinary ends the run; the transfer ends the hold before it shows
  // its outcome.
  platform::HoldForTransfer();
  OpenProgressWindow(row.Title);
  if (row.Check == PreCheck::DriveSettings && !DriveSettingsAllow(row)) {
    return ExitStatus::CheckRefused;
  }
  const TransferEnd end =
      row.Procedure == Transfer::ProgramMode
          ? ProgramModeTransfer(Form1, image.File, DeviceAddress.Adapter, DeviceAddress.Target)
          : DownloadMicrocode(Form1, image.File, DeviceAddress.Adapter, DeviceAddress.Target);
  return StatusOfTransfer(end, row.Procedure);
}

} // namespace

std::vector<ImageName> ImageNames() {
  std::vector<ImageName> names;
  for (const ModelRow &row : ModelTable) {
    names.push_back({row.ImageFile, row.Drive});
  }
  return names;
}

std::string ImageServing(const std::uint8_t *inquiry) {
  for (const ModelRow &row : ModelTable) {
    const bool found =
        IdentificationContains(inquiry, row.FirstSearch) ||
        (row.SecondSearch != nullptr && IdentificationContains(inquiry, row.SecondSearch));
    const bool refused =
        (row.Check == PreCheck::RevisionRefuses1 && inquiry[RevisionByte] == '1') ||
        (row.Check == PreCheck::RevisionRefuses0 && inquiry[RevisionByte] == '0');
    if (found && !refused) {
      return row.ImageFile;
    }
  }
  return "";
}

int ProgramMain(const char *openedFile) {
  // Started with no file where no image lies (the menu entry): on a desktop
  // the user picks the file, which then runs as a file opened; cancelling
  // ends the run.
  std::string chosen;
  if (openedFile == nullptr && ImageInWorkingDirectory().Row == nullptr &&
      toolkit::CanChooseFiles()) {
    chosen = ChooseImageFile();
    if (chosen.empty()) {
      return ExitCode(ExitStatus::NoImage);
    }
    openedFile = chosen.c_str();
  }
  // An opened file that cannot be used is told before the manager is loaded:
  // nothing reaches a drive.
  Image opened;
  if (openedFile != nullptr) {
    opened = OpenedImage(openedFile);
    if (opened.Row == nullptr) {
      return ExitCode(ExitStatus::FileUnusable);
    }
  }
  if (!InitAspi(false)) {
    platform::SystemMessageBox("Error intializing WNASPI32.DLL.", "Firmware Update");
    return ExitCode(ExitStatus::NoManager);
  }
  toolkit::Application->Initialize();
  const Image image = openedFile != nullptr ? opened : ImageInWorkingDirectory();
  // The run still ends silently without an image; only its status tells.
  return ExitCode(image.Row != nullptr ? RunRow(image) : ExitStatus::NoImage);
}
