// The census with a manager that completes every request from its own thread
// after the submission call has returned.
#include "census_sandbox.h"

namespace {

TEST(SpineCensusAsync, PollingWaitsForLateCompletion) {
  census::Sandbox box("");
  box.Scenario("completion async 3000\nadapters 2\nadapter 1 identifier \"ATAPI\"\n"
               "device 1 4 type 5\n");
  ASSERT_TRUE(box.Run());
  ASSERT_EQ(box.exitCode, 0);
  EXPECT_EQ(box.AdapterLine(0).rfind("Adapter 0 atapi=0 ", 0), 0u);
  EXPECT_EQ(box.AdapterLine(1),
            "Adapter 1 atapi=1 types -1 -1 -1 -1 5 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1 -1");
  EXPECT_EQ(box.Lines("GDEV").size(), 32u);
}

} // namespace
