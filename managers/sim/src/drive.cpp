#include "drive.h"

#include "commands.h"

#include <algorithm>

namespace simaspi {
namespace {

const FailRule *MatchingRule(const DriveState &drive, FailRule::Action action, uint8_t opcode,
                             uint32_t occurrence) {
  for (const FailRule &rule : drive.config.fails) {
    if (rule.opcode != opcode || rule.action != action)
      continue;
    bool hit = rule.when == FailRule::When::All ||
               (rule.when == FailRule::When::Nth && occurrence == rule.n) ||
               (rule.when == FailRule::When::FirstN && occurrence <= rule.n);
    if (hit)
      return &rule;
  }
  return nullptr;
}

} // namespace

DriveState::DriveState(const DriveConfig &cfg) : config(cfg) {
  for (const MemoryRange &range : cfg.memory)
    StoreMemory(range.address, range.bytes.data(), range.bytes.size());
}

void DriveState::StoreMemory(uint32_t address, const uint8_t *bytes, size_t count) {
  if (count == 0)
    return;
  for (size_t i = 0; i < count; ++i)
    memory[static_cast<uint32_t>(address + i)] = bytes[i];
  uint64_t begin = address, end = begin + count;
  std::vector<std::pair<uint64_t, uint64_t>> merged;
  for (const auto &range : ranges) {
    if (range.second < begin || range.first > end) {
      merged.push_back(range);
    } else {
      begin = std::min(begin, range.first);
      end = std::max(end, range.second);
    }
  }
  merged.emplace_back(begin, end);
  std::sort(merged.begin(), merged.end());
  ranges = std::move(merged);
}

DriveOutcome ExecuteOnDrive(DriveState &drive, const DriveRequest &r) {
  const uint8_t opcode = r.cdb[0];
  const uint32_t occurrence = ++drive.occurrences[opcode];
  DriveOutcome out;
  if (MatchingRule(drive, FailRule::Action::Hang, opcode, occurrence)) {
    out.hang = true;
    return out;
  }
  if (const FailRule *rule = MatchingRule(drive, FailRule::Action::Fail, opcode, occurrence)) {
    out.status = 0x04;
    out.hasSense = rule->hasSense;
    out.sense = rule->sense;
  } else {
    out = CarryOutCommand(drive, r);
  }
  out.twice = MatchingRule(drive, FailRule::Action::CompleteTwice, opcode, occurrence) != nullptr;
  if (const FailRule *rule = MatchingRule(drive, FailRule::Action::Slow, opcode, occurrence))
    out.slowMs = rule->slowMs;
  return out;
}

ArrivalRules RulesOnArrival(const DriveState &drive, uint8_t opcode) {
  auto counted = drive.occurrences.find(opcode);
  const uint32_t next = (counted == drive.occurrences.end() ? 0 : counted->second) + 1;
  ArrivalRules rules;
  rules.signal = MatchingRule(drive, FailRule::Action::Signal, opcode, next);
  rules.rewrite = MatchingRule(drive, FailRule::Action::Rewrite, opcode, next);
  rules.grow = MatchingRule(drive, FailRule::Action::Grow, opcode, next);
  return rules;
}

} // namespace simaspi
