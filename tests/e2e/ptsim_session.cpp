// A tarnix process against ptsim: requests, the Open request, and reading ptsim's call log.
#include "ptsim_session.h"

#include <gtest/gtest.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <algorithm>

#include "platform/dynamic_library.h"

namespace tarnix::e2e {
namespace {

// Variables the bridge or ptsim read; a session starts from none of them set, so the tester's own
// environment cannot change a scenario.
constexpr const char* kControls[] = {
    "PTSIM_LOG_READS",
    "PTSIM_FAIL",
    "PTSIM_LAST_ERROR",
    "PTSIM_ECHO",
    "PTSIM_KEYWORDS",
    "PTSIM_NO_CC",
    "PTSIM_VBATT",
    "PTSIM_TRAFFIC",
    "PTSIM_MISBEHAVE",
    "PTSIM_REPLAY",
    "PTSIM_HANG",
    "PTSIM_STRICT",
    "PTSIM_UNLOAD_DELAY_MS",
    "TARNIX_VERBOSE",
    "TARNIX_RX_CAPACITY",
    "TARNIX_POLL_INTERVAL_MS",
    "TARNIX_PUMP_BATCH_SIZE",
    "TARNIX_PUMP_MAX_DRAIN_READS",
    "TARNIX_TRACE",
    "TARNIX_TRACE_MAX_MB",
    "TARNIX_RELEASE_GRACE_MS",
    "TARNIX_PASSTHRU_TARGET",
    "TARNIX_PASSTHRU_BRIDGE",
};

}  // namespace

platform::EnvironmentChanges SessionEnvironment(const std::string& log_path,
                                                const platform::EnvironmentChanges& env) {
  platform::EnvironmentChanges changes{{"PTSIM_LOG", log_path}};
  for (const char* name : kControls) {
    const bool given = std::any_of(env.begin(), env.end(),
                                   [&](const auto& change) { return change.first == name; });
    if (!given) changes.emplace_back(name, std::nullopt);
  }
  changes.insert(changes.end(), env.begin(), env.end());
  return changes;
}

const platform::EnvironmentChanges& OneFramePump() {
  static const platform::EnvironmentChanges pump = {{"TARNIX_PUMP_BATCH_SIZE", "1"},
                                                    {"TARNIX_PUMP_MAX_DRAIN_READS", "1"},
                                                    {"TARNIX_POLL_INTERVAL_MS", "600000"}};
  return pump;
}

std::string PtsimPath(std::string_view base) {
  return BinaryPath(platform::SharedLibraryFileName(base));
}

std::string JsonQuoted(std::string_view text) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  writer.String(text.data(), static_cast<rapidjson::SizeType>(text.size()));
  return buffer.GetString();
}

std::vector<std::string> Fns(const LoggedCalls& calls) {
  std::vector<std::string> fns;
  for (const auto& call : calls)
    fns.emplace_back(call["fn"].GetString());
  return fns;
}

std::vector<const rapidjson::Value*> CallsOf(const LoggedCalls& calls, std::string_view fn,
                                             std::string_view ioctl) {
  std::vector<const rapidjson::Value*> found;
  for (const auto& call : calls) {
    if (fn != call["fn"].GetString()) continue;
    if (!ioctl.empty() &&
        (!call.HasMember("ioctl") || ioctl != std::string_view(call["ioctl"].GetString()))) {
      continue;
    }
    found.push_back(&call);
  }
  return found;
}

std::vector<std::string> LastFns(const LoggedCalls& calls, size_t n) {
  std::vector<std::string> fns = Fns(calls);
  if (fns.size() > n) fns.erase(fns.begin(), fns.end() - static_cast<std::ptrdiff_t>(n));
  return fns;
}

PtsimSession::PtsimSession(const platform::EnvironmentChanges& env)
    : log_path_(folder_.File("calls.log")), bridge_(SessionEnvironment(log_path_, env)) {}

Reply PtsimSession::Call(std::string_view method, std::string_view params) {
  const uint64_t id = next_id_++;
  // Parameters may be written over several source lines; a request is one line on the wire.
  std::string one_line(params);
  std::replace(one_line.begin(), one_line.end(), '\n', ' ');
  const std::string request = "{\"id\":" + std::to_string(id) + ",\"method\":\"" +
                              std::string(method) + "\"" +
                              (one_line.empty() ? "" : ",\"params\":" + one_line) + "}";
  return Reply(bridge_.Call(request), id);
}

void PtsimSession::Open(uint32_t protocol_id, uint32_t connect_flags, std::string_view library) {
  const Reply reply = OpenPath(PtsimPath(library), protocol_id, connect_flags);
  EXPECT_EQ(reply.Data(), "null") << "standard error:\n" << bridge_.ErrorOutput();
}

Reply PtsimSession::OpenPath(const std::string& dll_path, uint32_t protocol_id,
                             uint32_t connect_flags) {
  return Call("Open",
              "{\"dll_path\":" + JsonQuoted(dll_path) +
                  ",\"protocol_id\":" + std::to_string(protocol_id) +
                  ",\"baud_rate\":500000,\"connect_flags\":" + std::to_string(connect_flags) + "}");
}

std::vector<std::string> PtsimSession::LogLines() const {
  std::string text = ReadFileText(log_path_);
  // ptsim may be appending a line right now; only whole lines count.
  const size_t end = text.find_last_of('\n');
  text.erase(end == std::string::npos ? 0 : end + 1);
  return SplitLines(text);
}

size_t PtsimSession::LogSize() const {
  return LogLines().size();
}

LoggedCalls PtsimSession::Log() const {
  return LogFrom(0);
}

LoggedCalls PtsimSession::LogFrom(size_t from) const {
  const std::vector<std::string> lines = LogLines();
  LoggedCalls calls;
  for (size_t i = from; i < lines.size(); ++i) {
    rapidjson::Document call = ParseJson(lines[i]);
    if (!call.IsObject() || !call.HasMember("fn") || !call["fn"].IsString()) {
      ADD_FAILURE() << "unreadable call-log line: " << lines[i];
      continue;
    }
    if (std::string_view(call["fn"].GetString()) == "config") {
      ADD_FAILURE() << "ptsim ignored a control: " << lines[i];
      continue;
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

int PtsimSession::Finish() {
  bridge_.Disconnect();
  return bridge_.WaitExit();
}

}  // namespace tarnix::e2e
