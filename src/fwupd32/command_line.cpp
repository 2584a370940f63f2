// The command line's own answers on Linux: the help, the version and a usage
// error. None of them loads the manager or reaches a drive.
#include "fwupd32/exit_status.h"
#include "fwupd32/fwupd32.h"

#include <cstdio>
#include <string>

namespace {

constexpr const char *Usage = "Usage: fwupd32 [OPTION]... [IMAGE-FILE | DIRECTORY]\n";

void Print(std::FILE *stream, const std::string &text) {
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

std::string Padded(std::string text, std::size_t width) {
  text.resize(text.size() < width ? width : text.size(), ' ');
  return text;
}

} // namespace

int ShowHelp() {
  std::string text = Usage;
  text += "Write a firmware image to a QUILMAR CD-ROM or CD-R drive: find the drive,\n"
          "show the progress in a window, and tell the outcome in one message.\n"
          "\n"
          "The image's file name tells the drive model, in any letter case:\n";
  for (const ImageName &image : ImageNames()) {
    text += "  " + Padded(image.File, 14) + image.Drive + "\n";
  }
  text += "\n"
          "Given IMAGE-FILE, the program updates exactly that file. Given a DIRECTORY,\n"
          "or nothing, it takes the first of the names above, in that order, that lies\n"
          "in that directory or in the current one. Started from the desktop's menu\n"
          "with neither, it asks for the image file in a file chooser.\n"
          "\n"
          "  -l, --list     list the QUILMAR drives attached (address, device node,\n"
          "                 vendor, product and revision as reported, the image that\n"
          "                 serves each, whether you may write to it) and exit; only\n"
          "                 inquiries are sent to the drives\n"
          "  -h, --help     display this help and exit\n"
          "      --version  output version information and exit\n"
          "      --         end of the options: what follows is a file name\n"
          "\n"
          "Exit status:\n"
          " 0  the drive got the whole image and kept it (or --help, --version,\n"
          "    --list with drives listed)\n"
          " 1  input/output error while the image file was read\n"
          " 2  usage error on the command line\n"
          " 3  no image: none of the names above in the directory, or the file\n"
          "    chooser was cancelled\n"
          " 4  the file given cannot be used (not an image's name, missing, unreadable,\n"
          "    empty, not a regular file, still being written)\n"
          " 5  the ASPI manager could not be loaded, or it found no host adapters\n"
          " 6  drive not found\n"
          " 7  the drive's check refused the image\n"
          " 8  the transfer failed; the drive keeps its old firmware\n"
          " 9  the transfer failed and left the drive in programming mode: run the\n"
          "    update again without switching the drive off\n"
          "\n"
          "Environment: FWUPD_TOOLKIT=console shows the windows as text on standard\n"
          "output, FWUPD_TOOLKIT=qt forces desktop windows.\n"
          "Full documentation: man fwupd32\n";
  Print(stdout, text);
  return ExitCode(ExitStatus::Answered);
}

int ShowVersion() {
  Print(stdout, "fwupd32 " FWUPD_VERSION "\n"
                "Copyright (c) 2026 the fwupd32 authors.\n"
                "MIT License: this is free software, you may change and share it.\n"
                "There is NO WARRANTY, to the extent permitted by law.\n");
  return ExitCode(ExitStatus::Answered);
}

int ShowMisuse(const std::string &problem) {
  Print(stderr,
        "fwupd32: " + problem + "\n" + Usage + "Try 'fwupd32 --help' for more information.\n");
  return ExitCode(ExitStatus::Usage);
}
