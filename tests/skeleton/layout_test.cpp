// The request block layouts are fixed by static_asserts in the header; this
// checks the one figure a reader most often needs at run time.
#include "wnaspi95/wnaspi95.h"

#include <gtest/gtest.h>

TEST(RequestBlockLayout, ExecBlockSizeMatchesPointerWidth) {
  EXPECT_EQ(sizeof(SRB_ExecSCSICmd), sizeof(void *) == 8 ? 104u : 96u);
}
