// Binding and census against in-process entry points: the table look-up and
// the inquiry outputs the program reads afterwards.
#include "spine_fixture.h"

#include <cstring>

namespace {

unsigned InfoCalls = 0;
unsigned SendCalls = 0;
std::uint32_t ThreeAdapters() {
  ++InfoCalls;
  return 0xABCD0003u; // only the low byte counts
}

// Adapter 1's inquiry fails after filling its identifier; target t of
// adapter a has type a * 16 + t, except odd targets of adapter 2.
std::uint32_t Answer(void *block) {
  ++SendCalls;
  auto *bytes = static_cast<std::uint8_t *>(block);
  if (bytes[0] == SC_HA_INQUIRY) {
    auto *ha = static_cast<SRB_HAInquiry *>(block);
    std::memcpy(ha->HA_Identifier, "SCSI", 4);
    ha->SRB_Status = ha->SRB_HaId == 1 ? 0x04 : SS_COMP;
  } else {
    auto *gdev = static_cast<SRB_GDEVBlock *>(block);
    const bool missing = gdev->SRB_HaId == 2 && gdev->SRB_Target % 2 == 1;
    gdev->SRB_DeviceType = static_cast<std::uint8_t>(gdev->SRB_HaId * 16 + gdev->SRB_Target);
    gdev->SRB_Status = missing ? 0x04 : SS_COMP;
  }
  return bytes[1];
}

class SpineBinding : public spine::SpineTest {
protected:
  void SetUp() override {
    SpineTest::SetUp();
    InfoCalls = SendCalls = 0;
    wnaspi95_test::BindEntries(&ThreeAdapters, &Answer);
  }
};

TEST_F(SpineBinding, LookupReturnsWhatTheCensusStored) {
  ASSERT_TRUE(InitAspi(true));
  ASSERT_EQ(AdapterCount, 3);
  EXPECT_EQ(SendCalls, 3u + 48u);
  EXPECT_FALSE(AtapiAdapter[0]);
  EXPECT_TRUE(AtapiAdapter[1]) << "a failed inquiry means 12-byte blocks";
  for (std::uint8_t t = 0; t < 16; ++t) {
    EXPECT_EQ(LookupDeviceType(0, t), t);
    EXPECT_EQ(LookupDeviceType(2, t), t % 2 == 1 ? -1 : 32 + t);
  }
  EXPECT_EQ(LookupDeviceType(3, 0), -1) << "adapter AdapterCount";
  EXPECT_EQ(LookupDeviceType(255, 0), -1);
  EXPECT_EQ(LookupDeviceType(0, 16), -1) << "no read past the row";
}

TEST_F(SpineBinding, SecondCallSendsNothing) {
  ASSERT_TRUE(InitAspi(true));
  const unsigned sent = SendCalls;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(InitAspi(false));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(InfoCalls, 1u);
  EXPECT_EQ(SendCalls, sent);
}

TEST_F(SpineBinding, QuietFailureShowsNothingAndStaysUnbound) {
  wnaspi95_test::BindEntries(&ThreeAdapters, nullptr);
  testing::internal::CaptureStdout();
  EXPECT_FALSE(InitAspi(true));
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(AdapterCount, 0);
  EXPECT_EQ(InfoCalls, 0u) << "a library without SendASPI32Command is not used at all";
  wnaspi95_test::BindEntries(&ThreeAdapters, &Answer);
  EXPECT_TRUE(InitAspi(true)) << "a failed binding may be tried again";
}

TEST_F(SpineBinding, HaInquiryHandsBackTheBlockAlsoWhenItFailed) {
  SRB_HAInquiry block{};
  EXPECT_FALSE(HaInquiry(1, &block));
  EXPECT_EQ(block.SRB_Status, 0x04);
  EXPECT_EQ(block.SRB_HaId, 1);
  EXPECT_EQ(std::memcmp(block.HA_Identifier, "SCSI", 4), 0);
  EXPECT_TRUE(HaInquiry(0, &block));
}

TEST_F(SpineBinding, RequestsWithoutABoundManagerFailAtOnce) {
  wnaspi95_test::ResetBinding();
  SRB_HAInquiry ha{};
  EXPECT_FALSE(HaInquiry(0, &ha));
  EXPECT_EQ(GetDeviceType(0, 0), -1);
}

} // namespace
