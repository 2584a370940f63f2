// Running a program as a child process on POSIX, with what the tests control
// beyond RunChild: its environment, its account, its standard descriptors,
// and an action of the test while it runs.
#pragma once

#include "test_support.h"

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

struct Account {
  uid_t uid;
  gid_t gid;
};
std::optional<Account> FindAccount(const char *name);

struct PosixChild {
  std::filesystem::path program;
  std::vector<std::string> arguments;
  std::filesystem::path directory; // its current directory
  std::filesystem::path output;    // its standard output; standard input is empty
  std::filesystem::path errors;    // its standard error; ours when empty
  // NAME=value entries over our environment, a later one replacing an
  // earlier one (or ours) of the same name; and names of ours left out.
  std::vector<std::string> environment;
  std::vector<std::string> unset;
  std::optional<Account> account; // another account to run as (we are root)
  std::vector<int> closedAtStart; // standard descriptors it starts without
  // Runs on a thread of ours while the child runs, given its process id; the
  // run returns once both have ended.
  std::function<void(pid_t)> whileRunning;
  int timeoutSeconds = 60; // then it is killed
};

ChildRun RunPosixChild(const PosixChild &child);

} // namespace test_support
