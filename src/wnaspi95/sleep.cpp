// The one way the pass-through layer sleeps (busy retry, polling), so that a
// test can record the sleeps instead of sleeping them. The windows go on
// answering meanwhile (platform::AwaitRequest).
#include "wnaspi95/passthrough_state.h"
#include "wnaspi95/wnaspi95.h"

#include "platform/kernel.h"

#ifdef FWUPD_TEST_HOOKS
namespace {
wnaspi95_test::SleepRecorder RecordSleep = nullptr;
}

void wnaspi95_test::SetSleepRecorder(SleepRecorder recorder) {
  RecordSleep = recorder;
}
#endif

void PassThroughSleep(unsigned ms) {
#ifdef FWUPD_TEST_HOOKS
  if (RecordSleep != nullptr) {
    RecordSleep(ms);
    return;
  }
#endif
  platform::AwaitRequest(nullptr, ms);
}
