// Shared set-up of the pass-through tests: an unbound layer, the trace on and
// writing to a scratch file (so notes can be counted), and the layer's
// sleeps recorded instead of slept.
#pragma once

#include "aspdebug/aspdebug.h"
#include "trace_hooks.h"
#include "wnaspi95/wnaspi95.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace spine {

inline std::vector<unsigned> &Sleeps() {
  static std::vector<unsigned> sleeps;
  return sleeps;
}
inline void RecordSleep(unsigned ms) {
  Sleeps().push_back(ms);
}

class SpineTest : public ::testing::Test {
protected:
  void SetUp() override {
    InitPassThrough();
    InitTrace();
    wnaspi95_test::ResetBinding();
    Sleeps().clear();
    wnaspi95_test::SetSleepRecorder(&RecordSleep);
    wnaspi95_test::SetWaitLimitMs(0);
    tracePath_ = std::filesystem::temp_directory_path() /
                 ("spine-trace-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt");
    std::ofstream(tracePath_, std::ios::trunc).close();
    ASSERT_TRUE(aspdebug_test::OpenTraceFile(tracePath_.string()));
    aspdebug_test::SetSwitches(1, 0);
  }
  void TearDown() override {
    aspdebug_test::SetSwitches(0, 0);
    aspdebug_test::CloseTraceFile();
    wnaspi95_test::SetSleepRecorder(nullptr);
    wnaspi95_test::ResetBinding();
    std::filesystem::remove(tracePath_);
  }

  // The notes in the trace file so far, without time stamps or padding.
  std::vector<std::string> Notes() const {
    std::ifstream in(tracePath_, std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> notes;
    for (std::size_t at = 0; at + 64 <= all.size(); at += 64) {
      std::string note = all.substr(at + 10, 52);
      note.erase(note.find_last_not_of(' ') + 1);
      notes.push_back(note);
    }
    return notes;
  }

  std::filesystem::path tracePath_;
};

} // namespace spine
