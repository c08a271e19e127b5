// The fault report's portable part: the call in flight, the registered trace, and the texts.
#include "platform/fault_report.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>

#include "platform/append_file.h"
#include "platform/standard_error.h"
#include "platform/stop_request.h"

namespace tarnix::platform {
namespace {

std::atomic<const char*> g_call{nullptr};

// The registered trace. The handle is stored last and read first, so that a handler that finds
// one finds its texts too.
std::atomic<const char*> g_trace_head{nullptr};
std::atomic<const char*> g_trace_tail{nullptr};
std::atomic<intptr_t> g_trace_handle{-1};

}  // namespace

CallInFlight::CallInFlight(const char* name) noexcept
    : previous_(g_call.load(std::memory_order_relaxed)) {
  g_call.store(name, std::memory_order_relaxed);
}

CallInFlight::~CallInFlight() {
  g_call.store(previous_, std::memory_order_relaxed);
}

const char* CurrentCallInFlight() noexcept {
  return g_call.load(std::memory_order_relaxed);
}

void SetFaultTrace(const AppendFile* file, const char* head, const char* tail) noexcept {
  if (file == nullptr) {
    g_trace_handle.store(-1, std::memory_order_release);
    return;
  }
  g_trace_handle.store(-1, std::memory_order_release);
  g_trace_head.store(head, std::memory_order_relaxed);
  g_trace_tail.store(tail, std::memory_order_relaxed);
  g_trace_handle.store(file->native_handle(), std::memory_order_release);
}

FaultText& FaultText::Add(std::string_view text) noexcept {
  const size_t n = std::min(text.size(), sizeof buffer_ - size_);
  std::memcpy(buffer_ + size_, text.data(), n);
  size_ += n;
  return *this;
}

FaultText& FaultText::Hex(uint64_t value) noexcept {
  char digits[2 + 16];
  size_t first = sizeof digits;
  do {
    digits[--first] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value != 0);
  digits[--first] = 'x';
  digits[--first] = '0';
  return Add(std::string_view(digits + first, sizeof digits - first));
}

FaultText& FaultText::EndLine() noexcept {
  if (size_ == sizeof buffer_) --size_;
  buffer_[size_++] = '\n';
  return *this;
}

FaultText FaultLine(const Fault& fault) noexcept {
  FaultText line;
  line.Add("[bridge] Fatal fault: ").Add(fault.what);
  if (fault.located) {
    line.Add(" at ").Hex(fault.address);
    if (fault.module.empty()) {
      line.Add(" in an unknown module");
    } else {
      line.Add(" in ").Add(fault.module).Add("+").Hex(fault.module_offset);
    }
  }
  if (fault.call != nullptr) {
    line.Add(" during ").Add(fault.call);
  } else {
    line.Add(", no PassThru call in flight");
  }
  return line.EndLine();
}

void ReportFault(const Fault& fault) noexcept {
  WriteStandardError(FaultLine(fault).view());
  const intptr_t trace = g_trace_handle.load(std::memory_order_acquire);
  if (trace == -1) return;
  FaultText line;
  line.Add(g_trace_head.load(std::memory_order_relaxed));
  if (fault.call != nullptr) {
    line.Add("\"").Add(fault.call).Add("\"");
  } else {
    line.Add("null");
  }
  line.Add(g_trace_tail.load(std::memory_order_relaxed)).EndLine();
  WriteToHandle(trace, line.view());
}

void ReportUncaughtExceptions() {
  std::set_terminate([] {
    Fault fault;
    fault.what = "an exception that nothing caught";
    fault.located = false;
    fault.call = CurrentCallInFlight();
    ReportFault(fault);
    EndProcessNow(kFaultExitCode);
  });
}

}  // namespace tarnix::platform
