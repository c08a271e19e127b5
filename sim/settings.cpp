// Parsing of the PTSIM_* environment variables.
#include "sim/settings.h"

#include <charconv>

#include "passthru/entry_points.h"
#include "passthru/names.h"
#include "trace/schema.h"

namespace tarnix::sim {
namespace {

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front()))
    text.remove_prefix(1);
  while (!text.empty() && blank(text.back()))
    text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(Trim(text.substr(start, end - start)));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::optional<uint32_t> ParseNumber(std::string_view text, int base) {
  text = Trim(text);
  if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
  uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

/// Decimal, 0x-prefixed hexadecimal, or a status name such as ERR_FAILED.
std::optional<uint32_t> ParseCode(std::string_view text) {
  text = Trim(text);
  if (text.starts_with("0x") || text.starts_with("0X")) return ParseNumber(text, 16);
  if (auto code = passthru::StatusByName(text)) return code;
  return ParseNumber(text, 10);
}

bool IsSet(const std::optional<std::string>& value) {
  return value && (*value == "1" || *value == "true" || *value == "yes");
}

// A decimal variable such as PTSIM_VBATT; `unit` names what to give when the value is unusable.
void ReadCount(const EnvFn& env, const char* name, const char* unit, uint32_t& out,
               std::vector<std::string>& problems) {
  const auto text = env(name);
  if (!text) return;
  if (auto value = ParseNumber(*text, 10)) {
    out = *value;
  } else {
    problems.push_back(std::string(name) + " \"" + *text + "\" ignored: give " + unit);
  }
}

void ReadFaults(const std::string& text, Settings& settings, std::vector<std::string>& problems) {
  for (std::string_view rule : Split(text, ';')) {
    if (rule.empty()) continue;
    std::string problem;
    if (auto parsed = ParseFaultRule(rule, problem)) {
      settings.faults.push_back(std::move(*parsed));
    } else {
      problems.push_back("PTSIM_FAIL rule \"" + std::string(rule) + "\" ignored: " + problem);
    }
  }
}

void ReadKeywords(const std::string& text, Settings& settings, std::vector<std::string>& problems) {
  std::vector<uint8_t> keywords;  // an empty value: the ECU sends no keyword bytes
  if (Trim(text).empty()) {
    settings.keywords.clear();
    return;
  }
  for (std::string_view part : Split(text, ',')) {
    const auto value = ParseNumber(part, 16);
    if (!value || *value > 0xFF) {
      problems.push_back("PTSIM_KEYWORDS \"" + text + "\" ignored: give hex bytes such as 8F,E9");
      return;
    }
    keywords.push_back(static_cast<uint8_t>(*value));
  }
  settings.keywords = std::move(keywords);
}

void ReadTraffic(const std::string& text, Settings& settings, std::vector<std::string>& problems) {
  if (Trim(text) == "endless") {
    settings.traffic.endless = true;
    return;
  }
  const auto parts = Split(text, ':');
  const auto count = ParseNumber(parts[0], 10);
  const auto id = parts.size() == 2 ? ParseNumber(parts[1], 16) : std::optional<uint32_t>(0x7E8);
  if (!count || !id || parts.size() > 2 || *id > 0x1FFFFFFF) {
    problems.push_back("PTSIM_TRAFFIC \"" + text +
                       "\" ignored: give endless or <count>[:<hex id>]");
    return;
  }
  settings.traffic.count = *count;
  settings.traffic.id = *id;
}

void ReadEcho(const std::string& text, Settings& settings, std::vector<std::string>& problems) {
  const auto parts = Split(text, ':');
  const auto copies = parts.size() == 2 ? ParseNumber(parts[1], 10) : std::optional<uint32_t>(1);
  if (parts[0] != "plain" || parts.size() > 2 || !copies || *copies < 1 || *copies > 16) {
    problems.push_back("PTSIM_ECHO \"" + text + "\" ignored: give plain or plain:<1-16>");
    return;
  }
  settings.plain_echoes = *copies;
}

void ReadMisbehaviour(const std::string& text, Misbehaviour& m,
                      std::vector<std::string>& problems) {
  const std::pair<std::string_view, bool*> switches[] = {
      {"read_count_overflow", &m.read_count_overflow},
      {"data_size_overflow", &m.data_size_overflow},
      {"version_fill", &m.version_fill},
      {"last_error_blank", &m.last_error_blank},
      {"last_error_bad_utf8", &m.last_error_bad_utf8},
      {"five_baud_40", &m.five_baud_40},
      {"fast_init_empty", &m.fast_init_empty},
      {"loader_thread", &m.loader_thread},
      {"write_fault", &m.write_fault},
      {"throw_on_load", &m.throw_on_load},
  };
  for (std::string_view name : Split(text, ',')) {
    if (name.empty()) continue;
    bool known = false;
    for (const auto& [key, flag] : switches) {
      if (key == name) *flag = known = true;
    }
    if (!known) problems.push_back("PTSIM_MISBEHAVE switch \"" + std::string(name) + "\" unknown");
  }
}

/// PTSIM_HANG: entry-point names, with or without their PassThru prefix.
void ReadHang(const std::string& text, Settings& settings, std::vector<std::string>& problems) {
  for (std::string_view name : Split(text, ',')) {
    if (name.empty()) continue;
    std::string full =
        name.starts_with("PassThru") ? std::string(name) : "PassThru" + std::string(name);
    if (!passthru::EntryByName(full)) {
      problems.push_back("PTSIM_HANG entry point \"" + std::string(name) + "\" unknown");
      continue;
    }
    settings.hang.push_back(std::move(full));
  }
}

}  // namespace

std::optional<FaultRule> ParseFaultRule(std::string_view text, std::string& problem) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    problem = "expected Name[.IOCTL][@N]=CODE";
    return std::nullopt;
  }
  FaultRule rule;
  std::string_view target = Trim(text.substr(0, equals));
  const auto code = ParseCode(text.substr(equals + 1));
  if (!code) {
    problem = "the code must be a number or a status name";
    return std::nullopt;
  }
  rule.code = *code;
  if (const size_t at = target.find('@'); at != std::string_view::npos) {
    const auto nth = ParseNumber(target.substr(at + 1), 10);
    if (!nth || *nth == 0) {
      problem = "@N must be a call number from 1";
      return std::nullopt;
    }
    rule.nth = *nth;
    target = target.substr(0, at);
  }
  if (const size_t dot = target.find('.'); dot != std::string_view::npos) {
    rule.ioctl = std::string(target.substr(dot + 1));
    target = target.substr(0, dot);
    if (!passthru::IoctlByName(rule.ioctl)) {
      problem = "unknown ioctl name " + rule.ioctl;
      return std::nullopt;
    }
  }
  if (target.empty()) {
    problem = "no entry-point name";
    return std::nullopt;
  }
  rule.function =
      target.starts_with("PassThru") ? std::string(target) : "PassThru" + std::string(target);
  if (!passthru::EntryByName(rule.function)) {
    problem = "unknown entry point " + rule.function;
    return std::nullopt;
  }
  if (!rule.ioctl.empty() && rule.function != "PassThruIoctl") {
    problem = "only PassThruIoctl rules name an ioctl";
    return std::nullopt;
  }
  return rule;
}

Settings ReadSettings(const EnvFn& env, std::vector<std::string>& problems) {
  Settings settings;
  if (auto log = env("PTSIM_LOG")) settings.log_path = *log;
  if (auto replay = env("PTSIM_REPLAY")) settings.replay_path = *replay;
  settings.log_reads = IsSet(env("PTSIM_LOG_READS"));
  if (auto faults = env("PTSIM_FAIL")) ReadFaults(*faults, settings, problems);
  settings.last_error = env("PTSIM_LAST_ERROR");
  if (auto echo = env("PTSIM_ECHO")) ReadEcho(*echo, settings, problems);
  if (auto keywords = env("PTSIM_KEYWORDS")) ReadKeywords(*keywords, settings, problems);
  settings.no_cc = IsSet(env("PTSIM_NO_CC"));
  ReadCount(env, "PTSIM_VBATT", "millivolts", settings.vbatt_mv, problems);
  if (auto traffic = env("PTSIM_TRAFFIC")) ReadTraffic(*traffic, settings, problems);
  if (auto misbehave = env("PTSIM_MISBEHAVE")) {
    ReadMisbehaviour(*misbehave, settings.misbehave, problems);
  }
  settings.strict = IsSet(env("PTSIM_STRICT"));
  ReadCount(env, "PTSIM_UNLOAD_DELAY_MS", "milliseconds", settings.unload_delay_ms, problems);
  if (auto hang = env("PTSIM_HANG")) ReadHang(*hang, settings, problems);
  return settings;
}

}  // namespace tarnix::sim
