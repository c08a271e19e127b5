// ptsim's message entry points: reading, writing, periodic messages and filters.
#include <algorithm>

#include "passthru/numbers.h"
#include "sim/library.h"
#include "trace/arguments.h"

namespace tarnix::sim {
namespace {

/// Records a read reports beyond the room it was given (PTSIM_MISBEHAVE=read_count_overflow).
constexpr uint32_t kCountOverstatement = 3;

/// PTSIM_MISBEHAVE=write_fault: a store through a null pointer, which no compiler may leave out
/// (and a sanitizer must let happen).
#if defined(__GNUC__)
__attribute__((no_sanitize("undefined")))
#endif
void WriteThroughNull() {
  volatile int* volatile target = nullptr;
  *target = 1;
}

}  // namespace

int32_t Library::ReadMsgs(uint32_t channel_id, void* msgs, uint32_t* count, uint32_t timeout_ms) {
  Call call(*this, "PassThruReadMsgs");
  call.args() = trace::ReadMsgsArgs(channel_id, count, timeout_ms);
  if (call.injected()) {
    if (count != nullptr) *count = 0;
    return call.ReturnInjected();
  }
  if (msgs == nullptr || count == nullptr) {
    return call.Return(NullParameter("pMsg or pNumMsgs is null"));
  }
  const uint32_t room = *count;
  std::vector<Frame> frames;
  Status status;
  if (call.replay() != nullptr) {
    Replay::Read read = call.replay()->ReadMsgs(channel_id, room, timeout_ms);
    frames = std::move(read.frames);
    status = Refuse(read.status, "as recorded");
  } else {
    status = device_.Read(channel_id, room, timeout_ms, frames);
  }
  const bool overstate = call.settings().misbehave.data_size_overflow;
  uint32_t written = 0;
  std::vector<trace::Record> logged;
  for (const Frame& frame : frames) {
    void* record = RecordAt(form_, msgs, written);
    if (!WriteRecord(form_, record, frame, overstate)) {
      status = NullParameter("record " + std::to_string(written) + " has no buffer");
      break;
    }
    if (call.logging()) logged.push_back(ReadRecord(form_, record));
    ++written;
  }
  *count = written;
  if (written > 0 && call.settings().misbehave.read_count_overflow) {
    *count = room + kCountOverstatement;
  }
  call.out().Num("countOut", *count).Add("msgs", std::move(logged));
  if (written == 0 && (status.ok() || status.code == passthru::kErrBufferEmpty ||
                       status.code == passthru::kErrTimeout)) {
    call.NothingRead();
  }
  return call.Return(status);
}

int32_t Library::WriteMsgs(const char* fn, uint32_t channel_id, void* msgs, uint32_t* count,
                           std::optional<uint32_t> timeout_ms) {
  Call call(*this, fn);
  if (call.settings().misbehave.write_fault) WriteThroughNull();
  if (call.logging() || call.replay() != nullptr) {
    call.args() = trace::WriteMsgsArgs(form_, channel_id, msgs, count, timeout_ms);
  }
  std::vector<RecordView> views;
  if (msgs != nullptr && count != nullptr) {
    views.reserve(*count);
    for (uint32_t i = 0; i < *count; ++i) {
      views.push_back(ReadRecord(form_, RecordAt(form_, msgs, i)));
    }
  }
  if (call.injected() || call.replay() != nullptr) {
    if (count != nullptr) *count = 0;
    if (call.injected()) return call.ReturnInjected();
    return call.Replayed({{"countOut", count}});
  }
  if (msgs == nullptr || count == nullptr) {
    return call.Return(NullParameter("pMsg or pNumMsgs is null"));
  }
  std::vector<Frame> frames;
  frames.reserve(views.size());
  for (size_t i = 0; i < views.size(); ++i) {
    if (!IsSound(views[i])) {
      const Status check = CheckRecord(views[i], ("message " + std::to_string(i + 1)).c_str());
      *count = 0;
      call.out().Num("countOut", 0);
      return call.Return(check);
    }
    frames.push_back(ToFrame(views[i]));
  }
  size_t sent = 0;
  const Status status = device_.Write(channel_id, frames, sent);
  *count = static_cast<uint32_t>(sent);
  call.out().Num("countOut", sent);
  return call.Return(status);
}

int32_t Library::StartPeriodicMsg(uint32_t channel_id, const void* msg, uint32_t* msg_id,
                                  uint32_t interval_ms) {
  Call call(*this, "PassThruStartPeriodicMsg");
  call.args() = trace::StartPeriodicMsgArgs(form_, channel_id, msg, interval_ms);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed({{"msgId", msg_id}});
  if (msg == nullptr || msg_id == nullptr) {
    return call.Return(NullParameter("pMsg or pMsgID is null"));
  }
  const RecordView view = ReadRecord(form_, msg);
  if (Status check = CheckRecord(view, "the message"); !check.ok()) return call.Return(check);
  uint32_t id = 0;
  const Status status = device_.StartPeriodic(channel_id, ToFrame(view), interval_ms, id);
  if (status.ok()) {
    *msg_id = id;
    call.out().Num("msgId", id);
  }
  return call.Return(status);
}

int32_t Library::StopPeriodicMsg(uint32_t channel_id, uint32_t msg_id) {
  Call call(*this, "PassThruStopPeriodicMsg");
  call.args() = trace::StopPeriodicMsgArgs(channel_id, msg_id);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed();
  return call.Return(device_.StopPeriodic(channel_id, msg_id));
}

int32_t Library::StartMsgFilter(uint32_t channel_id, uint32_t type, const void* mask,
                                const void* pattern, std::optional<const void*> flow_control,
                                uint32_t* filter_id) {
  Call call(*this, "PassThruStartMsgFilter");
  call.args() = trace::StartMsgFilterArgs(form_, channel_id, type, mask, pattern, flow_control);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed({{"filterId", filter_id}});
  if (mask == nullptr || pattern == nullptr || filter_id == nullptr) {
    return call.Return(NullParameter("pMaskMsg, pPatternMsg or pFilterID is null"));
  }
  // A conforming 04.04 library needs the message it sends as flow control for a flow-control
  // filter; the lenient default takes none.
  const bool needs_flow_control =
      call.settings().strict && flow_control.has_value() && type == passthru::kFlowControlFilter;
  if (needs_flow_control && *flow_control == nullptr) {
    return call.Return(NullParameter("a flow-control filter needs pFlowControlMsg"));
  }
  const RecordView mask_view = ReadRecord(form_, mask);
  const RecordView pattern_view = ReadRecord(form_, pattern);
  std::optional<RecordView> flow_view;
  if (needs_flow_control) flow_view = ReadRecord(form_, *flow_control);
  for (const auto& [view, what] :
       {std::pair{&mask_view, "the mask"}, {&pattern_view, "the pattern"}}) {
    if (Status check = CheckRecord(*view, what); !check.ok()) return call.Return(check);
  }
  std::optional<Frame> flow_frame;
  if (flow_view) {
    const Status check = CheckRecord(*flow_view, "the flow-control message");
    if (!check.ok()) return call.Return(check);
    flow_frame = ToFrame(*flow_view);
  }
  uint32_t id = 0;
  const Status status =
      device_.StartFilter(channel_id, type, ToFrame(mask_view), ToFrame(pattern_view),
                          flow_frame ? &*flow_frame : nullptr, id);
  if (status.ok()) {
    *filter_id = id;
    call.out().Num("filterId", id);
  }
  return call.Return(status);
}

int32_t Library::StopMsgFilter(uint32_t channel_id, uint32_t filter_id) {
  Call call(*this, "PassThruStopMsgFilter");
  call.args() = trace::StopMsgFilterArgs(channel_id, filter_id);
  if (call.injected()) return call.ReturnInjected();
  if (call.replay() != nullptr) return call.Replayed();
  return call.Return(device_.StopFilter(channel_id, filter_id));
}

}  // namespace tarnix::sim
