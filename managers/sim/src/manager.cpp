#include "manager.h"

#include "completion.h"
#include "device_node.h"
#include "disturbances.h"
#include "drive.h"
#include "final_status.h"
#include "results.h"
#include "scenario.h"
#include "sense.h"
#include "srb_layout.h"
#include "transcript.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace simaspi {
using namespace aspikit;
namespace {

std::string DirName(const std::string &path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos)
    return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string OwnLibraryDir() {
#ifdef _WIN32
  HMODULE self = nullptr;
  char path[MAX_PATH];
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(&AnswerCommand), &self))
    return ".";
  DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH)
    return ".";
  return DirName(std::string(path, n));
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void *>(&AnswerCommand), &info) == 0 || !info.dli_fname)
    return ".";
  return DirName(info.dli_fname);
#endif
}

std::string Format(const char *fmt, auto... args) {
  char buf[512];
  std::snprintf(buf, sizeof buf, fmt, args...);
  return buf;
}

enum class Busy { No, ViaReturn, ViaStatus };

constexpr std::chrono::microseconds kSecondCompletionDelay{1000}; // at least

// Counts submissions of one kind and tells whether the current one is busy.
Busy NextBusy(const std::vector<BusyRun> &runs, uint64_t &counter) {
  uint64_t index = counter++; // 0-based
  for (const BusyRun &run : runs)
    if (index >= run.start && index < run.start + run.count)
      return run.viaReturn ? Busy::ViaReturn : Busy::ViaStatus;
  return Busy::No;
}

class Manager {
public:
  Manager() {
    const char *env = std::getenv("SIMASPI_SCENARIO");
    const std::string path = env && *env ? env : OwnLibraryDir() + "/simaspi.scn";
    const char *outDir = std::getenv("SIMASPI_OUTPUT_DIR");
    scenario_ = LoadScenario(path, outDir && *outDir ? outDir : DirName(path));
    if (!scenario_.transcriptPath.empty())
      transcript_.Open(scenario_.transcriptPath, scenario_.transcriptAppend);
    if (scenario_.valid)
      for (const auto &[addr, config] : scenario_.drives)
        drives_.emplace(addr, DriveState(config));
    if (scenario_.async)
      worker_.StormEvery(std::chrono::microseconds(scenario_.eventStormMicros));
  }

  uint32_t SupportInfo(bool zero) {
    uint32_t value = zero ? 0 : scenario_.supportInfo;
    transcript_.Line(Format("INFO ret=%08x", value));
    return value;
  }

  uint32_t Command(uint8_t *srb) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!srb) {
      transcript_.Line("CMD null ret=e0");
      return SS_INVALID_SRB;
    }
    switch (srb[kCmd]) {
    case SC_HA_INQUIRY:
      return HaInquiry(srb);
    case SC_GET_DEV_TYPE:
      return GetDeviceType(srb);
    case SC_EXEC_SCSI_CMD:
      return Exec(srb);
    default:
      PublishStatus(srb, SS_INVALID_CMD);
      transcript_.Line(Format("CMD cmd=%02x ret=%02x", srb[kCmd], SS_INVALID_CMD));
      return SS_INVALID_CMD;
    }
  }

  // Answers from the scenario alone, without a transcript line: no request
  // reaches a drive.
  uint32_t DeviceNode(uint8_t ha, uint8_t target, char *path, uint32_t size) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto drive = scenario_.drives.find({ha, target});
    if (!AdapterExists(ha) || drive == scenario_.drives.end() || drive->second.node.empty())
      return 0;
    return aspikit::AnswerDeviceNode(drive->second.node, drive->second.nodeWritable, path, size);
  }

private:
  bool AdapterExists(uint8_t ha) const { return ha < scenario_.AdapterCount(); }

  uint32_t HaInquiry(uint8_t *block) {
    uint8_t ha = block[kHaId];
    uint8_t status = SS_COMP;
    auto it = scenario_.adapters.find(ha);
    if (!AdapterExists(ha)) {
      status = SS_INVALID_HA;
    } else if (it != scenario_.adapters.end() && it->second.inquiryFails) {
      status = SS_ERR;
    } else {
      AdapterConfig config = it != scenario_.adapters.end() ? it->second : AdapterConfig{};
      block[kHaCount] = scenario_.AdapterCount();
      block[kHaScsiId] = 7;
      std::memcpy(block + kHaManagerId, config.manager.data(), kHaTextSize);
      std::memcpy(block + kHaIdentifier, config.identifier.data(), kHaTextSize);
      std::memset(block + kHaUnique, 0, kHaTextSize);
    }
    PublishStatus(block, status);
    transcript_.Line(Format("HA ha=%d ret=%02x status=%02x", ha, status, status));
    return status;
  }

  uint32_t GetDeviceType(uint8_t *block) {
    uint8_t ha = block[kHaId];
    uint8_t target = block[kGdevTarget];
    uint8_t lun = block[kGdevLun];
    uint8_t status = SS_ERR;
    uint32_t ret;
    Busy busy = NextBusy(scenario_.busyGdev, gdevCount_);
    if (scenario_.hangGdev) { // accepted, and never heard of again
      status = SS_PENDING;
      ret = SS_PENDING;
    } else if (busy != Busy::No) {
      status = SS_ASPI_IS_BUSY;
      ret = busy == Busy::ViaReturn ? SS_ASPI_IS_BUSY : SS_PENDING;
    } else {
      auto it = scenario_.deviceTypes.find({ha, target});
      if (!AdapterExists(ha)) {
        status = SS_INVALID_HA;
      } else if (it != scenario_.deviceTypes.end() && lun == 0) {
        block[kGdevDeviceType] = it->second;
        status = SS_COMP;
      }
      ret = status;
    }
    PublishStatus(block, status);
    transcript_.Line(Format("GDEV ha=%d tgt=%d ret=%02x status=%02x", ha, target, ret, status));
    return ret;
  }

  std::string ExecLine(const ExecRequest &f, uint32_t ret) const {
    std::string align = f.bufPointer == 0 ? "-" : std::to_string(f.bufPointer % 4);
    std::string out;
    if ((f.flags & SRB_DIR_OUT) && f.bufPointer != 0)
      out = Hex(reinterpret_cast<const uint8_t *>(f.bufPointer), std::min<uint32_t>(f.bufLen, 64));
    size_t cdbShown = std::min<size_t>(f.cdbLen, kCdbSize);
    return Format("EXEC ha=%d tgt=%d flags=%02x buflen=%u bufalign=%s senselen=%d cdblen=%d "
                  "cdb=%s postproc=%d ret=%02x out=%s",
                  f.haId, f.target, f.flags, f.bufLen, align.c_str(), f.senseLen, f.cdbLen,
                  Hex(f.cdb, cdbShown).c_str(), f.postProc != 0 ? 1 : 0, ret, out.c_str());
  }

  static std::string DoneLine(const ExecRequest &f, const Completion &c) {
    std::string sense;
    if (c.hasSense)
      sense = Hex(c.sense.data(), std::min<size_t>(14, c.senseLen));
    return Format("DONE ha=%d tgt=%d op=%02x status=%02x sense=%s", f.haId, f.target, f.cdb[0],
                  c.status, sense.c_str());
  }

  uint32_t Exec(uint8_t *srb) {
    const ExecRequest f = DecodeExec(srb);
    Completion c;
    c.srb = srb;
    c.buffer = f.bufPointer;
    c.bufLen = f.bufLen;
    c.senseLen = f.senseLen;
    c.notify = f.Notifies();
    c.eventHandle = f.postProc;
    c.closeEvent = scenario_.closeEvents;
    c.signalEarly = std::chrono::microseconds(scenario_.signalEarlyMicros);

    Busy busy = NextBusy(scenario_.busyExec, execCount_);
    if (execCount_ == scenario_.staleSignalsAt)
      SignalEarlierEvents();
    if (c.notify && c.eventHandle != 0)
      notifiedEvents_.push_back(c.eventHandle);
    if (busy != Busy::No) {
      // A busy answer ends the request at once; with only SRB_Status saying
      // busy the caller may wait on its event, so that is signalled too.
      uint32_t ret = busy == Busy::ViaReturn ? SS_ASPI_IS_BUSY : SS_PENDING;
      c.status = SS_ASPI_IS_BUSY;
      c.notify = c.notify && busy == Busy::ViaStatus;
      c.doneLine = DoneLine(f, c);
      transcript_.Line(ExecLine(f, ret));
      ApplyCompletion(c, transcript_);
      return ret;
    }

    auto drive = drives_.find({f.haId, f.target});
    bool hang = false, twice = false;
    uint32_t slowMs = 0;
    ArrivalRules arrival;
    if (f.bufPointer == 0 && f.bufLen > 0) {
      c.status = SS_ERR; // nothing to read from or write to
    } else if (drive == drives_.end() || f.lun != 0 || !AdapterExists(f.haId)) {
      c.status = SS_ERR;
    } else {
      DriveRequest request;
      request.cdb = f.cdb;
      request.cdbLen = f.cdbLen;
      request.buffer = reinterpret_cast<const uint8_t *>(f.bufPointer);
      request.bufLen = (f.flags & SRB_DIR_IN) ? 0 : f.bufLen;
      arrival = RulesOnArrival(drive->second, f.cdb[0]);
      if (arrival.rewrite)
        RewriteComplemented(arrival.rewrite->path, arrival.rewrite->written, transcript_);
      if (arrival.grow)
        AppendBlock(arrival.grow->path, arrival.grow->written, transcript_);
      // A synchronous manager is interrupted on the caller's own thread.
      if (arrival.signal && !scenario_.async)
        RaiseSignal(arrival.signal->signal, arrival.signal->written, transcript_);
      DriveOutcome outcome = ExecuteOnDrive(drive->second, request);
      hang = outcome.hang;
      twice = outcome.twice;
      slowMs = outcome.slowMs;
      c.status = outcome.status;
      c.hasSense = outcome.hasSense;
      c.sense = MakeFixedSense(outcome.sense.key, outcome.sense.asc, outcome.sense.ascq);
      if (!(f.flags & SRB_DIR_OUT))
        c.data = std::move(outcome.data);
      if (outcome.changed && !scenario_.resultDir.empty())
        ResultsOf(f.haId, f.target).Update(drive->second, outcome);
    }
    c.doneLine = DoneLine(f, c);

    if (hang) { // accepted, and never heard of again
      PublishStatus(srb, SS_PENDING);
      transcript_.Line(ExecLine(f, SS_PENDING));
      return SS_PENDING;
    }
    // The copy of a request completed twice comes once the caller has moved on.
    // A slow command is completed later whatever the completion mode.
    const auto delay =
        std::chrono::microseconds(scenario_.delayMicros) + std::chrono::milliseconds(slowMs);
    const auto again = 2 * std::max(delay, kSecondCompletionDelay);
    if (!scenario_.async && slowMs == 0) {
      transcript_.Line(ExecLine(f, c.status));
      ApplyCompletion(c, transcript_);
      if (twice)
        worker_.Post(SecondCompletion(c), again);
      return c.status;
    }
    PublishStatus(srb, SS_PENDING);
    transcript_.Line(ExecLine(f, SS_PENDING));
    if (twice)
      worker_.Post(SecondCompletion(c), again);
    // An asynchronous one on its own thread, as it completes the command.
    if (arrival.signal) {
      c.raiseSignal = arrival.signal->signal;
      c.signalName = arrival.signal->written;
    }
    c.stormed = scenario_.eventStormMicros > 0 && c.notify && c.eventHandle != 0;
    worker_.Post(std::move(c), delay);
    return SS_PENDING;
  }

  // The copy of a request completed twice signals its event again, but
  // leaves the rest of a broken manager's ways to the first completion.
  static Completion SecondCompletion(const Completion &first) {
    Completion copy = first;
    copy.closeEvent = false;
    return copy;
  }

  DriveResults &ResultsOf(int adapter, int target) {
    auto it = results_.find({adapter, target});
    if (it == results_.end())
      it = results_.try_emplace({adapter, target}, scenario_.resultDir, adapter, target).first;
    return it->second;
  }

  // Signals once more the event of every notifying request so far, as a
  // manager that lost track of its completions would.
  void SignalEarlierEvents() {
    transcript_.Line(Format("STALE signals=%zu", notifiedEvents_.size()));
    for (uintptr_t handle : notifiedEvents_)
      SignalEvent(handle);
  }

  std::mutex mutex_;
  Scenario scenario_;
  Transcript transcript_;
  std::map<Address, DriveState> drives_;
  std::map<Address, DriveResults> results_; // made on a drive's first change
  uint64_t execCount_ = 0;
  std::vector<uintptr_t> notifiedEvents_; // SRB_PostProc of every notifying EXEC
  uint64_t gdevCount_ = 0;
  // Last member: destroyed first, so no completion runs after the rest is gone.
  CompletionWorker worker_{transcript_};
};

Manager &Instance() {
  static Manager manager;
  return manager;
}

} // namespace

uint32_t AnswerSupportInfo(bool reportZeroAdapters) {
  return Instance().SupportInfo(reportZeroAdapters);
}

uint32_t AnswerCommand(void *srb) {
  return Instance().Command(static_cast<uint8_t *>(srb));
}

uint32_t AnswerDeviceNode(uint8_t ha, uint8_t target, char *path, uint32_t size) {
  return Instance().DeviceNode(ha, target, path, size);
}

} // namespace simaspi
