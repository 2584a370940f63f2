#include "scenario.h"

#include "commands.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>

namespace simaspi {
namespace {

struct Token {
  std::string word;           // the token as written (unquoted form)
  std::vector<uint8_t> bytes; // its bytes when it is a text token
  bool isText = false;        // quoted or hex:
};

class LineError {
public:
  explicit LineError(std::string what) : what_(std::move(what)) {}
  const std::string &what() const { return what_; }

private:
  std::string what_;
};

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

std::vector<uint8_t> HexBytes(const std::string &digits) {
  if (digits.size() % 2 != 0)
    throw LineError("odd number of hex digits");
  std::vector<uint8_t> out;
  for (size_t i = 0; i < digits.size(); i += 2) {
    int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
    if (hi < 0 || lo < 0)
      throw LineError("bad hex digit in '" + digits + "'");
    out.push_back(static_cast<uint8_t>(hi * 16 + lo));
  }
  return out;
}

std::vector<Token> Tokenize(const std::string &line) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    if (c == '#')
      break;
    Token token;
    if (c == '"') {
      token.isText = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char q = line[i++];
        if (q == '"') {
          closed = true;
          break;
        }
        if (q != '\\') {
          token.bytes.push_back(static_cast<uint8_t>(q));
          continue;
        }
        if (i >= line.size())
          throw LineError("unfinished escape");
        char e = line[i++];
        if (e == 'x') {
          if (i + 2 > line.size() || HexDigit(line[i]) < 0 || HexDigit(line[i + 1]) < 0)
            throw LineError("bad \\x escape");
          token.bytes.push_back(
              static_cast<uint8_t>(HexDigit(line[i]) * 16 + HexDigit(line[i + 1])));
          i += 2;
        } else if (e == '\\' || e == '"') {
          token.bytes.push_back(static_cast<uint8_t>(e));
        } else {
          throw LineError(std::string("unknown escape \\") + e);
        }
      }
      if (!closed)
        throw LineError("unterminated string");
      token.word.assign(token.bytes.begin(), token.bytes.end());
    } else {
      size_t start = i;
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
             line[i] != '#')
        ++i;
      token.word = line.substr(start, i - start);
      if (token.word.rfind("hex:", 0) == 0) {
        token.isText = true;
        token.bytes = HexBytes(token.word.substr(4));
      }
    }
    tokens.push_back(std::move(token));
  }
  return tokens;
}

class Cursor {
public:
  explicit Cursor(const std::vector<Token> &tokens) : tokens_(tokens) {}
  bool AtEnd() const { return pos_ >= tokens_.size(); }
  const Token &Next(const char *what) {
    if (AtEnd())
      throw LineError(std::string("missing ") + what);
    return tokens_[pos_++];
  }
  bool Peek(const char *word) const { return !AtEnd() && tokens_[pos_].word == word; }
  std::string Word(const char *what) { return Next(what).word; }
  uint64_t Number(const char *what, uint64_t max) {
    const std::string w = Word(what);
    size_t used = 0;
    unsigned long long v = 0;
    try {
      v = std::stoull(w, &used, 0);
    } catch (...) {
      throw LineError(std::string("bad ") + what + " '" + w + "'");
    }
    if (used != w.size() || w[0] == '-' || v > max)
      throw LineError(std::string("bad ") + what + " '" + w + "'");
    return v;
  }
  std::vector<uint8_t> Text(const char *what) {
    const Token &t = Next(what);
    if (!t.isText)
      throw LineError(std::string(what) + " must be a quoted string or hex:");
    return t.bytes;
  }
  void ExpectEnd() {
    if (!AtEnd())
      throw LineError("unexpected '" + tokens_[pos_].word + "'");
  }

private:
  const std::vector<Token> &tokens_;
  size_t pos_ = 0;
};

std::array<uint8_t, 16> Padded16(const std::vector<uint8_t> &bytes) {
  if (bytes.size() > 16)
    throw LineError("text longer than 16 bytes");
  std::array<uint8_t, 16> out{};
  std::copy(bytes.begin(), bytes.end(), out.begin());
  return out;
}

std::string Resolve(const std::string &path, const std::string &baseDir) {
  if (path.empty() || path[0] == '/' || baseDir.empty())
    return path;
  return baseDir + "/" + path;
}

// A storm's period: shorter would cost the process more than it tests.
constexpr uint32_t kShortestStormMicros = 50;

uint8_t ParseKind(const std::string &w) {
  const CommandKind *kind = KindNamed(w);
  if (kind == nullptr)
    throw LineError("unknown command kind '" + w + "'");
  return kind->opcode;
}

// What a drive's lines say about its INQUIRY data, applied once all lines are read.
struct InquiryFields {
  std::optional<uint8_t> byte0;
  std::optional<std::vector<uint8_t>> vendor, product, revision, raw;
  std::vector<std::pair<size_t, std::vector<uint8_t>>> patches;
};

void PutField(std::array<uint8_t, kInquirySize> &inq, size_t off, size_t width,
              const std::optional<std::vector<uint8_t>> &text) {
  if (!text)
    return;
  for (size_t i = 0; i < width; ++i)
    inq[off + i] = i < text->size() ? (*text)[i] : ' ';
}

std::array<uint8_t, kInquirySize> BuildInquiry(const InquiryFields &fields) {
  std::array<uint8_t, kInquirySize> inq{};
  if (fields.raw) {
    std::copy(fields.raw->begin(), fields.raw->end(), inq.begin());
  } else {
    inq[0] = fields.byte0.value_or(0x05);
    inq[1] = 0x80; // removable medium
    inq[2] = 0x02;
    inq[3] = 0x02;
    inq[4] = kInquirySize - 5;
    for (size_t i = 8; i < 36; ++i)
      inq[i] = ' ';
    PutField(inq, 8, 8, fields.vendor);
    PutField(inq, 16, 16, fields.product);
    PutField(inq, 32, 4, fields.revision);
  }
  for (const auto &[off, bytes] : fields.patches)
    std::copy(bytes.begin(), bytes.end(), inq.begin() + static_cast<long>(off));
  return inq;
}

void ParseBusy(Cursor &c, std::vector<BusyRun> &runs, bool modeRequired) {
  BusyRun run;
  run.count = static_cast<uint32_t>(c.Number("count", 1000000));
  if (!c.AtEnd() && !c.Peek("after")) {
    std::string mode = c.Word("mode");
    if (mode != "return" && mode != "status")
      throw LineError("busy mode must be return or status");
    run.viaReturn = mode == "return";
  } else if (modeRequired) {
    throw LineError("missing busy mode (return or status)");
  }
  run.start = runs.empty() ? 0 : runs.back().start + runs.back().count;
  if (c.Peek("after")) {
    c.Word("after");
    run.start = c.Number("submission count", UINT32_MAX);
  }
  c.ExpectEnd();
  runs.push_back(run);
}

// The command kind and occurrence a rule acts on.
void ParseOccurrence(Cursor &c, FailRule &rule) {
  rule.opcode = ParseKind(c.Word("command kind"));
  if (c.Peek("all")) {
    c.Word("all");
    rule.when = FailRule::When::All;
  } else if (c.Peek("first")) {
    c.Word("first");
    rule.when = FailRule::When::FirstN;
    rule.n = static_cast<uint32_t>(c.Number("count", UINT32_MAX));
  } else {
    rule.when = FailRule::When::Nth;
    rule.n = static_cast<uint32_t>(c.Number("occurrence", UINT32_MAX));
    if (rule.n == 0)
      throw LineError("occurrences count from 1");
  }
}

void ParseFail(Cursor &c, DriveConfig &drive, FailRule::Action action) {
  FailRule rule;
  rule.action = action;
  ParseOccurrence(c, rule);
  if (action == FailRule::Action::Slow)
    rule.slowMs = static_cast<uint32_t>(c.Number("milliseconds", 3600000));
  if (action == FailRule::Action::Fail && c.Peek("sense")) {
    c.Word("sense");
    rule.hasSense = true;
    rule.sense.key = static_cast<uint8_t>(c.Number("sense key", 255));
    rule.sense.asc = static_cast<uint8_t>(c.Number("ASC", 255));
    rule.sense.ascq = static_cast<uint8_t>(c.Number("ASCQ", 255));
  }
  drive.fails.push_back(rule);
}

#ifndef _WIN32
// The signals a terminal, a session or a pipe sends, by name.
const std::pair<const char *, int> kSignalNames[] = {
    {"HUP", SIGHUP},       {"INT", SIGINT},   {"TERM", SIGTERM},    {"QUIT", SIGQUIT},
    {"PIPE", SIGPIPE},     {"USR1", SIGUSR1}, {"USR2", SIGUSR2},    {"ALRM", SIGALRM},
    {"VTALRM", SIGVTALRM}, {"PROF", SIGPROF}, {"XCPU", SIGXCPU},    {"XFSZ", SIGXFSZ},
    {"IO", SIGIO},         {"PWR", SIGPWR},   {"STKFLT", SIGSTKFLT}};
#endif

// A signal by name, or by its decimal number.
int SignalNumber(const std::string &w) {
#ifdef _WIN32
  (void)w;
  throw LineError("signal is not available in the Windows build");
#else
  for (const auto &[name, number] : kSignalNames)
    if (w == name)
      return number;
  if (w.empty() || w.size() > 3 || w.find_first_not_of("0123456789") != std::string::npos ||
      std::stoi(w) < 1 || std::stoi(w) >= NSIG)
    throw LineError("unknown signal '" + w + "' (a name such as HUP, USR1, ALRM, or a number)");
  return std::stoi(w);
#endif
}

// `signal NAME KIND N`.
void ParseSignal(Cursor &c, DriveConfig &drive) {
  FailRule rule;
  rule.action = FailRule::Action::Signal;
  rule.written = c.Word("signal");
  rule.signal = SignalNumber(rule.written);
  ParseOccurrence(c, rule);
  drive.fails.push_back(rule);
}

// `rewrite PATH KIND N`, `grow PATH KIND N`.
void ParseFileRule(Cursor &c, DriveConfig &drive, const std::string &baseDir,
                   FailRule::Action action) {
  FailRule rule;
  rule.action = action;
  rule.written = c.Word("path");
  rule.path = Resolve(rule.written, baseDir);
  ParseOccurrence(c, rule);
  drive.fails.push_back(rule);
}

void ParseDriveProps(Cursor &c, DriveConfig &drive, InquiryFields &fields,
                     const std::string &baseDir) {
  while (!c.AtEnd()) {
    const std::string prop = c.Word("drive property");
    if (prop == "/") {
      continue;
    } else if (prop == "vendor") {
      fields.vendor = c.Text("vendor");
    } else if (prop == "product") {
      fields.product = c.Text("product");
    } else if (prop == "revision") {
      fields.revision = c.Text("revision");
    } else if (prop == "byte0") {
      fields.byte0 = static_cast<uint8_t>(c.Number("byte0", 255));
    } else if (prop == "inquiry") {
      auto raw = c.Text("inquiry data");
      if (raw.size() > kInquirySize)
        throw LineError("inquiry data longer than 96 bytes");
      fields.raw = raw;
    } else if (prop == "data") {
      size_t off = c.Number("offset", kInquirySize - 1);
      auto bytes = c.Text("data");
      if (off + bytes.size() > kInquirySize)
        throw LineError("inquiry data beyond byte 95");
      fields.patches.emplace_back(off, bytes);
    } else if (prop == "memory") {
      MemoryRange range;
      range.address = static_cast<uint32_t>(c.Number("address", UINT32_MAX));
      range.bytes = c.Text("memory bytes");
      if (uint64_t(range.address) + range.bytes.size() > (uint64_t(1) << 32))
        throw LineError("memory beyond the 32-bit address space");
      drive.memory.push_back(std::move(range));
    } else if (prop == "node") {
      const auto node = c.Text("node");
      drive.node.assign(node.begin(), node.end());
    } else if (prop == "no_access") {
      drive.nodeWritable = false;
    } else if (prop == "fail") {
      ParseFail(c, drive, FailRule::Action::Fail);
    } else if (prop == "hang") {
      ParseFail(c, drive, FailRule::Action::Hang);
    } else if (prop == "twice") {
      ParseFail(c, drive, FailRule::Action::CompleteTwice);
    } else if (prop == "slow") {
      ParseFail(c, drive, FailRule::Action::Slow);
    } else if (prop == "signal") {
      ParseSignal(c, drive);
    } else if (prop == "rewrite") {
      ParseFileRule(c, drive, baseDir, FailRule::Action::Rewrite);
    } else if (prop == "grow") {
      ParseFileRule(c, drive, baseDir, FailRule::Action::Grow);
    } else {
      throw LineError("unknown drive property '" + prop + "'");
    }
  }
}

void ParseAdapter(Cursor &c, Scenario &s) {
  int a = static_cast<int>(c.Number("adapter", 255));
  AdapterConfig &adapter = s.adapters[a];
  const std::string prop = c.Word("adapter property");
  if (prop == "identifier") {
    adapter.identifier = Padded16(c.Text("identifier"));
  } else if (prop == "manager") {
    adapter.manager = Padded16(c.Text("manager"));
  } else if (prop == "inquiry") {
    std::string v = c.Word("fail or ok");
    if (v != "fail" && v != "ok")
      throw LineError("adapter inquiry must be fail or ok");
    adapter.inquiryFails = v == "fail";
  } else {
    throw LineError("unknown adapter property '" + prop + "'");
  }
  c.ExpectEnd();
}

void ParseLine(Cursor &c, Scenario &s, std::map<Address, InquiryFields> &fieldsByDrive,
               const std::string &baseDir, bool &haveSupportInfo) {
  const std::string d = c.Word("directive");
  if (d == "transcript") {
    s.transcriptPath = Resolve(c.Word("path"), baseDir);
    if (c.Peek("append")) {
      c.Word("append");
      s.transcriptAppend = true;
    }
    c.ExpectEnd();
  } else if (d == "result") {
    s.resultDir = Resolve(c.Word("directory"), baseDir);
    c.ExpectEnd();
  } else if (d == "adapters") {
    uint32_t n = static_cast<uint32_t>(c.Number("adapter count", 255));
    if (!haveSupportInfo)
      s.supportInfo = n;
    c.ExpectEnd();
  } else if (d == "support_info") {
    s.supportInfo = static_cast<uint32_t>(c.Number("support info", UINT32_MAX));
    haveSupportInfo = true;
    c.ExpectEnd();
  } else if (d == "completion") {
    std::string mode = c.Word("completion mode");
    if (mode == "sync") {
      s.async = false;
    } else if (mode == "async") {
      s.async = true;
      s.delayMicros = static_cast<uint32_t>(c.Number("delay in microseconds", 60000000));
    } else {
      throw LineError("completion must be sync or async");
    }
    c.ExpectEnd();
  } else if (d == "busy") {
    ParseBusy(c, s.busyExec, true);
  } else if (d == "busy_gdev") {
    ParseBusy(c, s.busyGdev, false);
  } else if (d == "stale_signals") {
    if (c.Word("'at'") != "at")
      throw LineError("expected 'at'");
    s.staleSignalsAt = c.Number("submission", UINT32_MAX);
    if (s.staleSignalsAt == 0)
      throw LineError("submissions count from 1");
    c.ExpectEnd();
  } else if (d == "hang_gdev") {
    s.hangGdev = true;
    c.ExpectEnd();
  } else if (d == "close_events") {
    s.closeEvents = true;
    c.ExpectEnd();
  } else if (d == "signal_early") {
    s.signalEarlyMicros = static_cast<uint32_t>(c.Number("wait in microseconds", 60000000));
    c.ExpectEnd();
  } else if (d == "event_storm") {
    s.eventStormMicros = static_cast<uint32_t>(c.Number("period in microseconds", 60000000));
    if (s.eventStormMicros < kShortestStormMicros)
      throw LineError("event_storm period below 50 microseconds");
    c.ExpectEnd();
  } else if (d == "adapter") {
    ParseAdapter(c, s);
  } else if (d == "device") {
    int a = static_cast<int>(c.Number("adapter", 255));
    int t = static_cast<int>(c.Number("target", 255));
    if (c.Word("'type'") != "type")
      throw LineError("expected 'type'");
    s.deviceTypes[{a, t}] = static_cast<uint8_t>(c.Number("device type", 255));
    c.ExpectEnd();
  } else if (d == "drive") {
    int a = static_cast<int>(c.Number("adapter", 255));
    int t = static_cast<int>(c.Number("target", 255));
    ParseDriveProps(c, s.drives[{a, t}], fieldsByDrive[{a, t}], baseDir);
  } else {
    throw LineError("unknown directive '" + d + "'");
  }
}

} // namespace

Scenario ParseScenario(const std::string &text, const std::string &fileName,
                       const std::string &baseDir) {
  Scenario s;
  std::map<Address, InquiryFields> fieldsByDrive;
  bool haveSupportInfo = false;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    try {
      std::vector<Token> tokens = Tokenize(line);
      if (tokens.empty())
        continue;
      Cursor c(tokens);
      ParseLine(c, s, fieldsByDrive, baseDir, haveSupportInfo);
    } catch (const LineError &e) {
      std::fprintf(stderr, "simaspi: %s:%d: %s\n", fileName.c_str(), number, e.what().c_str());
      s.valid = false;
    }
  }
  for (auto &[addr, drive] : s.drives)
    drive.inquiry = BuildInquiry(fieldsByDrive[addr]);
  if (!s.valid)
    s.supportInfo = 0;
  return s;
}

Scenario LoadScenario(const std::string &path, const std::string &baseDir) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "simaspi: cannot read scenario '%s'\n", path.c_str());
    Scenario s;
    s.valid = false;
    return s;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return ParseScenario(text.str(), path, baseDir);
}

} // namespace simaspi
