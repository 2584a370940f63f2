#include <gtest/gtest.h>

#include "srb_layout.h"
#include "status_map.h"

using namespace sgaspi;
using aspikit::SS_COMP;
using aspikit::SS_ERR;

namespace {

const std::uint8_t kFixedIllegalRequest[18] = {0x70, 0, 0x05, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x20, 0};
const std::uint8_t kAtapiUnitAttention[18] = {0xF0, 0, 0x06, 0, 0, 0,    0,
                                              10,   0, 0,    0, 0, 0x3F, 0x16};
const std::uint8_t kRecovered[18] = {0x70, 0, 0x01, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x17, 0x01};

MappedStatus Map(std::uint8_t status, std::uint16_t host, std::uint16_t driver,
                 const std::uint8_t *sense = nullptr, std::uint8_t senseLen = 0, int err = 0) {
  return MapOutcome({err, status, host, driver, sense, senseLen});
}

TEST(StatusMap, OnlyGoodWithoutTransportOrDriverErrorCompletes) {
  EXPECT_EQ(Map(0, 0, 0).srbStatus, SS_COMP);
  EXPECT_EQ(Map(0x02, 0, 0x08, kFixedIllegalRequest, 18).srbStatus, SS_ERR);
  EXPECT_EQ(Map(0x08, 0, 0).srbStatus, SS_ERR);             // BUSY
  EXPECT_EQ(Map(0x18, 0, 0).srbStatus, SS_ERR);             // RESERVATION CONFLICT
  EXPECT_EQ(Map(0, 0x03, 0).srbStatus, SS_ERR);             // timed out in the adapter
  EXPECT_EQ(Map(0, 0, 0x06).srbStatus, SS_ERR);             // driver timeout
  EXPECT_EQ(Map(0, 0, 0, nullptr, 0, 5).srbStatus, SS_ERR); // EIO from SG_IO
}

TEST(StatusMap, CheckConditionKeepsTargetStatusAndHostStatusIsTranslated) {
  const MappedStatus cc = Map(0x02, 0, 0x08, kFixedIllegalRequest, 18);
  EXPECT_EQ(cc.targStat, 0x02);
  EXPECT_EQ(cc.haStat, 0x00);
  EXPECT_EQ(Map(0, 0x01, 0).haStat, 0x11); // no connect: selection time-out
  EXPECT_EQ(Map(0, 0x03, 0).haStat, 0x0B);
}

TEST(StatusMap, HostErrorWithGoodStatusButValidSenseIsACheckCondition) {
  // Adapters that report CHECK CONDITION as host DID_ERROR with status 0.
  const MappedStatus m = Map(0x00, 0x07, 0x08, kFixedIllegalRequest, 18);
  EXPECT_EQ(m.srbStatus, SS_ERR);
  EXPECT_EQ(m.targStat, 0x02);
}

TEST(StatusMap, SenseOfNoErrorWithGoodStatusStillCompletes) {
  EXPECT_EQ(Map(0, 0, 0x08, kRecovered, 18).srbStatus, SS_COMP);
  // Sense naming a real error fails the request even with GOOD status.
  EXPECT_EQ(Map(0, 0, 0x08, kAtapiUnitAttention, 18).srbStatus, SS_ERR);
}

} // namespace
