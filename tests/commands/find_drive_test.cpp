// The drive search: which devices are asked, which identification matches,
// and what the outputs hold afterwards.
#include "sim_drives.h"

#include "fwupd32/fwupd32.h"
#include "wnaspi95/wnaspi95.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using cmdtest::Fields;
using cmdtest::SimDrives;

namespace {

// The opcodes sent, as "op@adapter,target".
std::vector<std::string> Sent(const SimDrives &sim) {
  std::vector<std::string> sent;
  for (const Fields &f : sim.Execs()) {
    sent.push_back(f.at("cdb").substr(0, 2) + "@" + f.at("ha") + "," + f.at("tgt"));
  }
  return sent;
}

struct Found {
  bool ok;
  std::int32_t adapter;
  std::int32_t target;
};

Found Search(const std::string &text) {
  Found f{false, 7, 7};
  f.ok = FindDrive(text, f.adapter, f.target);
  return f;
}

constexpr const char *W6216 = R"(vendor "QUILMAR " product "CD-R   QM-W6216T" revision "1.0A")";

} // namespace

TEST(FindDrive, NoOpticalDeviceSendsNoCommand) {
  SimDrives sim(std::string("adapters 2\n"
                            "device 0 0 type 0\ndevice 0 1 type 1\ndevice 1 3 type 4\n"
                            "drive 0 0 ") +
                W6216 + "\ndrive 0 1 " + W6216 + "\ndrive 1 3 " + W6216 + "\n");
  ASSERT_TRUE(sim.Bound());
  const Found f = Search("QUILMAR");
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.adapter, -1);
  EXPECT_EQ(f.target, -1);
  EXPECT_TRUE(sim.Execs().empty());
}

TEST(FindDrive, LowestAdapterThenLowestTargetWins) {
  SimDrives sim(std::string("adapters 3\n"
                            "device 0 9 type 5\ndevice 1 4 type 5\ndevice 1 2 type 7\n"
                            "device 2 0 type 5\n"
                            "drive 0 9 vendor \"OTHER   \" product \"CD-ROM\"\n"
                            "drive 1 4 ") +
                W6216 + "\ndrive 1 2 " + W6216 + " byte0 7\ndrive 2 0 " + W6216 + "\n");
  ASSERT_TRUE(sim.Bound());
  const Found f = Search("QM-W6216T");
  EXPECT_TRUE(f.ok);
  EXPECT_EQ(f.adapter, 1);
  EXPECT_EQ(f.target, 2);
  // Only the candidates up to the match are asked; the match gets TEST UNIT READY.
  EXPECT_EQ(Sent(sim), (std::vector<std::string>{"12@0,9", "12@1,2", "00@1,2"}));
}

TEST(FindDrive, WholeByteZeroDecidesAfterTheCensus) {
  SimDrives sim(std::string("adapters 1\n"
                            "device 0 1 type 5\ndevice 0 2 type 5\ndevice 0 3 type 7\n"
                            "drive 0 1 ") +
                W6216 + " byte0 0x25\ndrive 0 2 " + W6216 + " byte0 0x08\ndrive 0 3 " + W6216 +
                " byte0 0x07\n");
  ASSERT_TRUE(sim.Bound());
  const Found f = Search("QUILMAR CD-R   QM-W6216T");
  EXPECT_TRUE(f.ok);
  EXPECT_EQ(f.adapter, 0);
  EXPECT_EQ(f.target, 3);
}

TEST(FindDrive, FailingInquiryDoesNotEndTheSearch) {
  SimDrives sim(std::string("adapters 1\n"
                            "device 0 0 type 5\ndevice 0 1 type 5\ndevice 0 2 type 5\n"
                            "drive 0 1 ") +
                W6216 + " fail inquiry all\ndrive 0 2 " + W6216 + "\n");
  ASSERT_TRUE(sim.Bound());
  // Target 0 has no drive behind its census entry, target 1 rejects INQUIRY.
  const Found f = Search("QM-W6216T");
  EXPECT_TRUE(f.ok);
  EXPECT_EQ(f.adapter, 0);
  EXPECT_EQ(f.target, 2);
  EXPECT_EQ(Sent(sim), (std::vector<std::string>{"12@0,0", "12@0,1", "12@0,2", "00@0,2"}));
}

TEST(FindDrive, MatchIsExactAndByteForByte) {
  SimDrives sim(std::string("adapters 1\ndevice 0 4 type 5\n"
                            "drive 0 4 vendor \"QUILMAR \" product \"CD-ROM QM-20TSUW\" "
                            "revision \"1.0A\" data 36 hex:4142\n"));
  ASSERT_TRUE(sim.Bound());
  const std::string identification = "QUILMAR CD-ROM QM-20TSUW1.0AAB";
  ASSERT_EQ(identification.size(), 30u);

  EXPECT_TRUE(Search("R CD-ROM").ok) << "vendor and product are joined without a separator";
  EXPECT_TRUE(Search(identification).ok) << "all 30 bytes";
  EXPECT_FALSE(Search(identification + std::string(1, '\0')).ok) << "longer than 30";
  EXPECT_FALSE(Search(identification + " ").ok);
  EXPECT_FALSE(Search("quilmar").ok) << "case counts";
  EXPECT_TRUE(Search("QUILMAR CD-ROM QM-20TS").ok);
  EXPECT_FALSE(Search("QUILMAR CD-ROM QM-20TS ").ok) << "the trailing blank counts";
  EXPECT_TRUE(Search("1.0AAB").ok) << "revision and bytes 36-37";
  const Found empty = Search("");
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.adapter, -1);
  EXPECT_EQ(empty.target, -1);
}

TEST(FindDrive, NulBytesStayPartOfTheIdentification) {
  // Bytes 36 and 37 are zero; bytes 38 and 39 hold a name that is never looked at.
  SimDrives sim(std::string("adapters 1\ndevice 0 0 type 5\n"
                            "drive 0 0 vendor \"QUILMAR \" product \"CD-R\" revision \"XY\" "
                            "data 34 hex:0000 data 38 hex:5A5A\n"));
  ASSERT_TRUE(sim.Bound());
  EXPECT_TRUE(Search(std::string("XY\0\0\0\0", 6)).ok);
  EXPECT_FALSE(Search(std::string("XY\0\0\0\0\0", 7)).ok);
  EXPECT_FALSE(Search("ZZ").ok) << "beyond byte 37";
  EXPECT_TRUE(Search("XY").ok);
}

TEST(FindDrive, NoMatchResetsAnEarlierAddress) {
  SimDrives sim(std::string("adapters 1\ndevice 0 5 type 5\ndrive 0 5 ") + W6216 + "\n");
  ASSERT_TRUE(sim.Bound());
  std::int32_t adapter = 0, target = 0;
  ASSERT_TRUE(FindDrive("QM-W6216T", adapter, target));
  EXPECT_EQ(adapter, 0);
  EXPECT_EQ(target, 5);
  EXPECT_FALSE(FindDrive("QM-20TS", adapter, target));
  EXPECT_EQ(adapter, -1);
  EXPECT_EQ(target, -1);
  // Every call asks again: nothing is cached.
  EXPECT_EQ(Sent(sim), (std::vector<std::string>{"12@0,5", "00@0,5", "12@0,5"}));
}
