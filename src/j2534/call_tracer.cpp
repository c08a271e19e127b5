// The trace file of one connection: header, call lines with their times, and the size bound.
#include "j2534/call_tracer.h"

#include <chrono>

#include "j2534/library.h"
#include "log/log.h"
#include "platform/fault_report.h"
#include "tarnix_version.h"
#include "trace/encode.h"

namespace tarnix::j2534 {
namespace {

// "t" counts from here: the bridge's static objects are set up as the program starts.
const Clock::TimePoint g_bridge_start = SteadyClock().Now();

uint64_t Microseconds(Clock::Duration duration) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
  return micros < 0 ? 0 : static_cast<uint64_t>(micros);
}

}  // namespace

std::shared_ptr<CallTracer> CallTracer::Open(const TraceSettings& settings,
                                             const std::string& library_path, trace::Form form) {
  Result<platform::AppendFile> file = platform::AppendFile::Open(settings.path);
  if (!file) {
    LogLine("[bridge] Trace disabled: " + file.error().text);
    return nullptr;
  }
  std::shared_ptr<CallTracer> tracer(
      new CallTracer(std::move(file).value(), settings.max_bytes, form));
  trace::Line header;
  header.kind = trace::Line::Kind::kHeader;
  header.header = {1, kVersion, sizeof(void*) * 8, library_path};
  tracer->WriteLine(trace::EncodeLine(header));
  if (tracer->recording()) {
    platform::SetFaultTrace(&tracer->file_, tracer->crashed_.head.c_str(),
                            tracer->crashed_.tail.c_str());
  }
  return tracer;
}

CallTracer::~CallTracer() {
  if (recording()) platform::SetFaultTrace(nullptr, nullptr, nullptr);
}

void CallTracer::StopRecording() {
  platform::SetFaultTrace(nullptr, nullptr, nullptr);
  recording_ = false;
}

void CallTracer::WriteCall(trace::Line& line, Clock::TimePoint start, Clock::TimePoint end) {
  line.t = Microseconds(start - g_bridge_start);
  line.us = Microseconds(end - start);
  WriteLine(trace::EncodeLine(line));
}

void CallTracer::WriteLine(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (!recording()) return;
  std::string out = text + '\n';
  if (size_ + out.size() > max_bytes_) {
    out = trace::EncodeMarker(trace::Line::Kind::kTruncated) + '\n';
    StopRecording();
  }
  if (Result<void> written = file_.Write(out); !written) {
    LogLine("[bridge] Trace disabled: " + written.error().text);
    StopRecording();
    return;
  }
  size_ += out.size();
}

void StartTrace(PassThruLibrary& library, const TraceSettings& settings,
                const std::string& library_path) {
  if (settings.path.empty()) return;
  const trace::Form form = library.IsApi0500() ? trace::Form::k0500 : trace::Form::k0404;
  library.SetTracer(CallTracer::Open(settings, library_path, form));
}

}  // namespace tarnix::j2534
