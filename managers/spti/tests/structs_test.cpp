// The pass-through structures as a 32-bit caller hands them to the system,
// and the ASPI execute block as a 32-bit program lays it out.
#include "spti_structs.h"
#include "srb_layout.h"

#include <gtest/gtest.h>

#include <winioctl.h>

namespace sptiaspi {
namespace {

struct Field {
  const char *name;
  std::size_t actual, expected;
};

TEST(PassThroughStructs, SizesAndOffsetsFor32Bit) {
  ASSERT_EQ(sizeof(void *), 4u);
  const Field fields[] = {
      {"SPTD size", sizeof(SCSI_PASS_THROUGH_DIRECT), 44},
      {"SPTD DataTransferLength", offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength), 12},
      {"SPTD TimeOutValue", offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue), 16},
      {"SPTD DataBuffer", offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer), 20},
      {"SPTD SenseInfoOffset", offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset), 24},
      {"SPTD Cdb", offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb), 28},
      {"SPT size", sizeof(SCSI_PASS_THROUGH), 44},
      {"SPT DataBufferOffset", offsetof(SCSI_PASS_THROUGH, DataBufferOffset), 20},
      {"SPT Cdb", offsetof(SCSI_PASS_THROUGH, Cdb), 28},
      {"direct sense area", kDirectSenseOffset, 48},
      {"buffered sense area", kBufferedSenseOffset, 48},
      {"buffered data", kBufferedDataOffset, 80},
      {"SCSI_ADDRESS size", sizeof(SCSI_ADDRESS), 8},
      {"SCSI_ADDRESS PortNumber", offsetof(SCSI_ADDRESS, PortNumber), 4},
      {"SCSI_ADDRESS TargetId", offsetof(SCSI_ADDRESS, TargetId), 6},
      {"capabilities MaximumTransferLength", offsetof(IO_SCSI_CAPABILITIES, MaximumTransferLength),
       4},
      {"capabilities AlignmentMask", offsetof(IO_SCSI_CAPABILITIES, AlignmentMask), 16},
      {"adapter MaximumTransferLength", offsetof(STORAGE_ADAPTER_DESCRIPTOR, MaximumTransferLength),
       8},
      {"adapter AlignmentMask", offsetof(STORAGE_ADAPTER_DESCRIPTOR, AlignmentMask), 16},
      {"adapter BusType", offsetof(STORAGE_ADAPTER_DESCRIPTOR, BusType), 24},
      {"ASPI execute block", aspikit::kNativeExec.size, 96},
      {"ASPI SRB_PostProc", aspikit::kNativeExec.postProc, 24},
      {"ASPI CDB", aspikit::kNativeExec.cdb, 48},
      {"ASPI sense area", aspikit::kNativeExec.sense, 64},
  };
  for (const Field &f : fields)
    EXPECT_EQ(f.actual, f.expected) << f.name;
}

} // namespace
} // namespace sptiaspi
