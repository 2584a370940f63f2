// A sysfs tree of the shape the kernel exposes, in a temporary directory:
// class entries are symlinks into devices/, and an sg node's device link
// names its H:C:T:L directory.
#pragma once

#include "test_support.h"

#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <string>

class FakeSysfsTree {
public:
  FakeSysfsTree() {
    root = test_support::MakeScratchDirectory("sgaspi-sysfs");
    std::filesystem::create_directories(root / "class" / "scsi_generic");
    std::filesystem::create_directories(root / "class" / "scsi_host");
  }
  ~FakeSysfsTree() { std::filesystem::remove_all(root); }
  FakeSysfsTree(const FakeSysfsTree &) = delete;
  FakeSysfsTree &operator=(const FakeSysfsTree &) = delete;

  static void Write(const std::filesystem::path &file, const std::string &text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }

  // A host adapter under the parent device `parent`, bound to `boundDriver`.
  void AddHost(int host, const std::string &procName, const std::string &parent,
               const std::string &boundDriver = "") {
    namespace fs = std::filesystem;
    const fs::path hostDev = root / "devices" / parent / ("host" + std::to_string(host));
    const fs::path cls = root / "class" / "scsi_host" / ("host" + std::to_string(host));
    fs::create_directories(cls);
    Write(cls / "proc_name", procName);
    Write(cls / "this_id", "7");
    fs::create_directories(hostDev);
    fs::create_directory_symlink(hostDev, cls / "device");
    if (!boundDriver.empty()) {
      fs::create_directories(root / "bus" / "drivers" / boundDriver);
      fs::create_directory_symlink(root / "bus" / "drivers" / boundDriver,
                                   root / "devices" / parent / "driver");
    }
  }

  // `block`: the block device the same SCSI device carries ("sr0"), if any.
  void AddSg(int sg, const std::string &hctl, int type, const std::string &block = "") {
    namespace fs = std::filesystem;
    const fs::path dev = root / "devices" / "scsi" / hctl;
    Write(dev / "type", std::to_string(type));
    if (!block.empty())
      fs::create_directories(dev / "block" / block);
    const fs::path cls = root / "class" / "scsi_generic" / ("sg" + std::to_string(sg));
    fs::create_directories(cls);
    fs::create_directory_symlink(dev, cls / "device");
  }

  std::filesystem::path root;
};
