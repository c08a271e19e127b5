// The trace reader: parses a line, then checks it against the key table of its kind.
#include "trace/decode.h"

#include <array>
#include <limits>

#include "passthru/entry_points.h"
#include "trace/decode_values.h"
#include "trace/schema.h"

namespace tarnix::trace {
namespace {

using detail::ToNumber;
using detail::ToText;
using json::Node;

constexpr uint64_t kMax32 = std::numeric_limits<uint32_t>::max();
constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();
constexpr uint32_t kTraceVersion = 1;

/// The members every line may carry: its kind and the bridge's timing.
struct Common {
  const Node* fn = nullptr;
  const Node* t = nullptr;
  const Node* us = nullptr;
};

/// Takes "fn", "t" and "us" out of the way of a line's own members.
bool IsCommonKey(std::string_view key) {
  return key == "fn" || key == "t" || key == "us";
}

/// The line's own members: all but fn, t and us, in text order.
std::vector<std::pair<std::string_view, const Node*>> OwnMembers(const Node& line) {
  std::vector<std::pair<std::string_view, const Node*>> members;
  for (size_t i = 0; i < line.keys.size(); ++i) {
    if (!IsCommonKey(line.keys[i])) members.emplace_back(line.keys[i], &line.items[i]);
  }
  return members;
}

/// The bridge's own "trace" lines: the truncated and crashed markers, and the header.
Result<void> DecodeHeader(const Node& line, Line& out) {
  static constexpr std::array<std::string_view, 7> kKeys = {"fn",     "t",    "us",     "version",
                                                            "bridge", "bits", "library"};
  static constexpr std::array<std::string_view, 4> kTruncatedKeys = {"fn", "t", "us", "truncated"};
  auto truncated = detail::Members(line, kTruncatedKeys, "a trace line");
  if (truncated && (*truncated)[3] != nullptr) {
    const Node& flag = *(*truncated)[3];
    if (flag.kind != Node::Kind::kBool || !flag.boolean) return Fail("\"truncated\" must be true");
    out.kind = Line::Kind::kTruncated;
    return {};
  }
  static constexpr std::array<std::string_view, 4> kCrashedKeys = {"fn", "t", "us", "crashed"};
  auto crashed = detail::Members(line, kCrashedKeys, "a trace line");
  if (crashed && (*crashed)[3] != nullptr) {
    out.kind = Line::Kind::kCrashed;
    if ((*crashed)[3]->kind == Node::Kind::kNull) return {};
    auto name = ToText(*(*crashed)[3], "crashed");
    if (!name) return std::move(name).error();
    if (!passthru::EntryByName(*name))
      return Fail("\"crashed\" must name an entry point or be null");
    out.crashed_in = std::move(*name);
    return {};
  }
  auto found = detail::Members(line, kKeys, "a trace header");
  if (!found) return std::move(found).error();
  for (size_t i = 3; i < kKeys.size(); ++i) {
    if ((*found)[i] == nullptr)
      return Fail("the trace header has no \"" + std::string(kKeys[i]) + "\"");
  }
  auto version = ToNumber(*(*found)[3], "version", kMax32);
  auto bridge = ToText(*(*found)[4], "bridge");
  auto bits = ToNumber(*(*found)[5], "bits", kMax32);
  auto library = ToText(*(*found)[6], "library");
  if (!version) return std::move(version).error();
  if (*version != kTraceVersion) {
    return Fail("trace version " + std::to_string(*version) + " is not supported (only 1)");
  }
  if (!bridge) return std::move(bridge).error();
  if (!bits) return std::move(bits).error();
  if (*bits != 32 && *bits != 64) return Fail("\"bits\" must be 32 or 64");
  if (!library) return std::move(library).error();
  out.kind = Line::Kind::kHeader;
  out.header = {kTraceVersion, std::move(*bridge), static_cast<uint32_t>(*bits),
                std::move(*library)};
  return {};
}

/// The rule for `key` among the entry point's and the ioctl's rules; null when there is none.
const KeyRule* RuleOf(std::string_view key, std::span<const KeyRule> rules,
                      std::span<const KeyRule> ioctl_rules) {
  for (const auto* list : {&rules, &ioctl_rules}) {
    for (const KeyRule& rule : *list) {
      if (rule.key == key) return &rule;
    }
  }
  return nullptr;
}

/// The PassThruIoctl rules for the line's ioctlId (the plain ones when it is unusable: the
/// member's own check refuses it).
std::span<const KeyRule> IoctlRulesOf(const Node& line) {
  for (size_t i = 0; i < line.keys.size(); ++i) {
    if (line.keys[i] == "ioctlId" && line.items[i].kind == Node::Kind::kUnsigned &&
        line.items[i].number <= kMax32) {
      return IoctlRules(static_cast<uint32_t>(line.items[i].number));
    }
  }
  return IoctlRules(0);
}

/// "ret", "injected" and "replay": the members every call line has or may have.
Result<bool> DecodeStatus(std::string_view key, const Node& value, Call& call) {
  if (key == "ret") {
    auto ret = ToNumber(value, key, kMax32);
    if (!ret) return std::move(ret).error();
    call.ret = static_cast<uint32_t>(*ret);
  } else if (key == "injected") {
    if (value.kind != Node::Kind::kBool || !value.boolean) return Fail("\"injected\" must be true");
    call.injected = true;
  } else if (key == "replay") {
    if (value.kind != Node::Kind::kString || value.text != "diverged") {
      return Fail("\"replay\" must be \"diverged\"");
    }
    call.diverged = true;
  } else {
    return false;
  }
  return true;
}

Result<void> DecodeCall(const Node& line, std::string fn, Line& out) {
  const auto rules = CallRules(fn);
  if (!rules) return Fail("unknown entry point \"" + fn.substr(0, 40) + "\"");
  const std::span<const KeyRule> ioctl_rules =
      fn == "PassThruIoctl" ? IoctlRulesOf(line) : std::span<const KeyRule>();
  Call& call = out.call;
  call.fn = std::move(fn);
  bool have_ret = false;
  std::vector<std::string_view> seen;  // known keys only, so it stays short
  for (const auto& [key, value] : OwnMembers(line)) {
    for (std::string_view other : seen) {
      if (other == key) return Fail("repeated member \"" + std::string(key) + "\"");
    }
    auto status = DecodeStatus(key, *value, call);
    if (!status) return std::move(status).error();
    if (*status) {
      seen.push_back(key);
      have_ret = have_ret || key == "ret";
      continue;
    }
    const KeyRule* rule = RuleOf(key, *rules, ioctl_rules);
    if (rule == nullptr) {
      return Fail("unknown member \"" + std::string(key.substr(0, 40)) + "\" in a " + call.fn +
                  " line");
    }
    seen.push_back(key);
    auto decoded = detail::ToValue(*value, rule->kinds, rule->key);
    if (!decoded) return std::move(decoded).error();
    (have_ret ? call.outputs : call.args).Add(rule->key, std::move(*decoded));
  }
  if (!have_ret) return Fail("a " + call.fn + " line without \"ret\"");
  for (const auto* list : {&*rules, &ioctl_rules}) {
    for (const KeyRule& rule : *list) {
      if (rule.required && call.Find(rule.key) == nullptr) {
        return Fail("a " + call.fn + " line without \"" + std::string(rule.key) + "\"");
      }
    }
  }
  return {};
}

/// "load", "unload", "config" and "loaderThread": lines of ptsim's own.
Result<void> DecodeLibraryLine(const Node& line, std::string_view fn, Line& out) {
  const auto members = OwnMembers(line);
  if (fn == "config" || fn == "loaderThread") {
    const bool config = fn == "config";
    const char* key = config ? "problem" : "event";
    if (members.size() != 1 || members[0].first != key) {
      return Fail("a " + std::string(fn) + " line has exactly one member besides \"fn\": \"" + key +
                  "\"");
    }
    auto text = ToText(*members[0].second, key);
    if (!text) return std::move(text).error();
    out.kind = config ? Line::Kind::kConfig : Line::Kind::kThread;
    (config ? out.problem : out.event) = std::move(*text);
    return {};
  }
  if (!members.empty()) return Fail("a " + std::string(fn) + " line has no members besides \"fn\"");
  out.kind = fn == "load" ? Line::Kind::kLoad : Line::Kind::kUnload;
  return {};
}

/// "fn", "t" and "us", each at most once.
Result<Common> DecodeCommon(const Node& line, Line& out) {
  if (line.kind != Node::Kind::kObject) {
    return Fail("expected an object, found " + json::Describe(line));
  }
  Common common;
  for (size_t i = 0; i < line.keys.size(); ++i) {
    const std::string& key = line.keys[i];
    const Node** slot = key == "fn"   ? &common.fn
                        : key == "t"  ? &common.t
                        : key == "us" ? &common.us
                                      : nullptr;
    if (slot == nullptr) continue;
    if (*slot != nullptr) return Fail("repeated member \"" + key + "\"");
    *slot = &line.items[i];
  }
  if (common.fn == nullptr) return Fail("no \"fn\"");
  const std::pair<const Node*, std::optional<uint64_t>*> timing[] = {{common.t, &out.t},
                                                                     {common.us, &out.us}};
  for (const auto& [node, target] : timing) {
    if (node == nullptr) continue;
    auto number = ToNumber(*node, node == common.t ? "t" : "us", kMax64);
    if (!number) return std::move(number).error();
    *target = *number;
  }
  return common;
}

}  // namespace

Result<Line> DecodeLine(std::string_view text) {
  if (text.size() > kMaxLineBytes) {
    return Fail("longer than " + std::to_string(kMaxLineBytes) + " bytes");
  }
  auto tree = json::ParseTree(text);
  if (!tree) return std::move(tree).error();
  Line line;
  auto common = DecodeCommon(*tree, line);
  if (!common) return std::move(common).error();
  auto fn = ToText(*common->fn, "fn");
  if (!fn) return std::move(fn).error();
  Result<void> decoded;
  if (*fn == "load" || *fn == "unload" || *fn == "config" || *fn == "loaderThread") {
    decoded = DecodeLibraryLine(*tree, *fn, line);
  } else if (*fn == "trace") {
    decoded = DecodeHeader(*tree, line);
  } else {
    decoded = DecodeCall(*tree, std::move(*fn), line);
  }
  if (!decoded) return std::move(decoded).error();
  return line;
}

}  // namespace tarnix::trace
