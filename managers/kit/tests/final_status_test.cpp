#include <gtest/gtest.h>

#include <sys/eventfd.h>
#include <unistd.h>

#include "final_status.h"
#include "srb_layout.h"

using namespace aspikit;

namespace {

std::uint64_t Drain(int fd) {
  std::uint64_t count = 0;
  if (::read(fd, &count, sizeof count) != sizeof count)
    return 0;
  return count;
}

TEST(FinalStatus, StatusThenTheEventOnlyWhenAsked) {
  const int fd = ::eventfd(0, EFD_NONBLOCK);
  ASSERT_GE(fd, 0);
  std::uint8_t block[104] = {};
  FinishRequest(block, SS_ERR, true, static_cast<std::uintptr_t>(fd));
  EXPECT_EQ(block[kStatus], SS_ERR);
  EXPECT_EQ(Drain(fd), 1u) << "the 8-byte value 1";
  FinishRequest(block, SS_COMP, false, static_cast<std::uintptr_t>(fd));
  EXPECT_EQ(block[kStatus], SS_COMP);
  EXPECT_EQ(Drain(fd), 0u) << "no notification asked for";
  SignalEvent(0); // no event: nothing to do, nothing written anywhere
  ::close(fd);
}

} // namespace
