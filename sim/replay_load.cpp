// Reading a recording for PTSIM_REPLAY: a bridge trace or a ptsim call log, split into steps,
// deliveries and last-error answers.
#include <filesystem>
#include <fstream>

#include "passthru/numbers.h"
#include "sim/records.h"
#include "sim/replay.h"
#include "trace/line_source.h"

namespace tarnix::sim {
namespace {

/// The recording as it is read, with the call each GetLastError answer belongs to.
struct Recording {
  std::vector<Replay::Step> steps;
  std::vector<Replay::Delivery> deliveries;
  std::optional<Replay::LastError> initial;
  enum class Latest { kNothing, kStep, kDelivery } latest = Latest::kNothing;

  void AddCall(size_t line, trace::Call call);
  /// Where a GetLastError answer goes: the latest step or read, or before everything.
  std::optional<Replay::LastError>& LastErrorSlot() {
    if (latest == Latest::kStep) return steps.back().last_error;
    if (latest == Latest::kDelivery) return deliveries.back().last_error;
    return initial;
  }
};

void Recording::AddCall(size_t line, trace::Call call) {
  if (call.fn == "PassThruGetLastError") {
    const trace::Value* text = call.Find("text");
    const auto* answer = text == nullptr ? nullptr : std::get_if<std::string>(text);
    LastErrorSlot() = Replay::LastError{call.ret, answer == nullptr ? "" : *answer};
    return;
  }
  if (call.fn == "PassThruReadMsgs") {
    const trace::Value* msgs = call.Find("msgs");
    auto* records = msgs == nullptr ? nullptr : std::get_if<std::vector<trace::Record>>(msgs);
    const bool nothing = records == nullptr || records->empty();
    if (nothing && (call.ret == 0 || call.ret == passthru::kErrTimeout ||
                    call.ret == passthru::kErrBufferEmpty)) {
      return;  // an empty read: replayed reads find nothing by themselves
    }
    Replay::Delivery delivery;
    delivery.after_steps = steps.size();
    delivery.channel = static_cast<uint32_t>(call.Number("channelId").value_or(0));
    if (records != nullptr) {
      for (const trace::Record& record : *records)
        delivery.frames.push_back(ToFrame(record));
    }
    delivery.status = call.ret;
    deliveries.push_back(std::move(delivery));
    latest = Latest::kDelivery;
    return;
  }
  steps.push_back({line, std::move(call), std::nullopt});
  latest = Latest::kStep;
}

}  // namespace

Result<std::unique_ptr<Replay>> Replay::Load(const std::string& path) {
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                   std::ios::binary);
  if (!in) return Fail("cannot be opened");
  return FromStream(in);
}

Result<std::unique_ptr<Replay>> Replay::FromStream(std::istream& in) {
  Recording recording;
  trace::LineSource source(in);
  trace::RawLine raw;
  size_t last_line = 0;
  while (source.Next(raw)) {
    auto line = trace::DecodeRawLine(raw);
    if (!line) {
      if (!raw.terminated) break;  // the recorder stopped in the middle of its last line
      return Fail("line " + std::to_string(raw.number) + ": " + line.error().text);
    }
    // Headers, load and unload markers and configuration problems are not calls.
    if (line->kind != trace::Line::Kind::kCall) continue;
    last_line = raw.number;
    recording.AddCall(raw.number, std::move(line->call));
  }
  if (recording.steps.empty() && recording.deliveries.empty()) return Fail("it holds no calls");
  return std::unique_ptr<Replay>(new Replay(std::move(recording.steps),
                                            std::move(recording.deliveries),
                                            std::move(recording.initial), last_line));
}

}  // namespace tarnix::sim
