// The request decoder's figures: time per MB and peak memory for long lines of every shape.
#include "decode_bench.h"

#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <string_view>

#include "protocol/request.h"
#include "samples.h"

namespace tarnix::bench {
namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kRepeats = 5;
// The decoder's limits: time per MB flat within this factor, peak within this many line lengths.
constexpr double kFlatness = 2.0;
constexpr double kPeakPerByte = 8.0;
constexpr double kPeakConstant = 1.0 * kMiB;

// A line of one shape: `head`, then `item` repeated (separated by `separator`), then `tail`.
struct Shape {
  const char* name;
  std::string head;
  std::string item;
  std::string separator;
  std::string tail;

  // The line of this shape that is about `bytes` long.
  std::string Make(size_t bytes) const {
    const size_t count = std::max<size_t>(1, bytes / (item.size() + separator.size()));
    std::string line;
    line.reserve(head.size() + count * (item.size() + separator.size()) + tail.size());
    line += head;
    for (size_t i = 0; i < count; ++i) {
      if (i > 0) line += separator;
      line += item;
    }
    line += tail;
    return line;
  }
};

// Members the decoder only checks and passes over.
constexpr std::string_view kIgnored = R"({"id":7,"method":"GetLoopback","x":[)";

const Shape kShapes[] = {
    // A number the fast integer path refuses that is still a valid double.
    {"long numbers", std::string(kIgnored), "1" + std::string(310, '0') + "e-300", ",", "]}"},
    {"byte arrays",
     R"({"id":7,"method":"SendMessage","params":{"arb_id":2016,"extended":false,"data":[)",
     "255,0,17", ",", "]}}"},
    // Arrays nested 100 deep inside the request object and its "x" array.
    {"deep nesting", std::string(kIgnored), std::string(100, '[') + "0" + std::string(100, ']'),
     ",", "]}"},
    {"long strings",
     R"({"id":7,"method":"Open","params":{"protocol_id":6,"baud_rate":500000,"dll_path":")",
     R"(C:\\Program Files\\adapter-\u00e9\n)", "", R"("}})"},
};

std::string Batch(size_t frames) {
  std::string line = R"({"id":7,"method":"SendMessagesBatch","params":{"messages":[)";
  for (size_t i = 0; i < frames; ++i) {
    if (i > 0) line += ',';
    line += "[2016,[" + std::to_string(i % 256) + "],false]";
  }
  return line + "]}}";
}

// The calling thread's processor time, in seconds: on a machine shared with other work this
// follows the decoder's own cost where wall time would follow the load.
double ThreadSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The best of kRepeats decodes of `line`, in seconds of processor time (the answer freed too).
double DecodeSeconds(const std::string& line) {
  double best = 1e300;
  for (int r = 0; r < kRepeats; ++r) {
    const double start = ThreadSeconds();
    {
      auto message = protocol::DecodeMessage(line);
      if (!message.ok() && message.error().text.empty()) std::abort();  // keeps the call
    }
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

// A "Vm...:" line of /proc/self/status, in bytes.
double StatusBytes(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string word;
  while (status >> word) {
    if (word == key) {
      double kib = 0;
      status >> kib;
      return kib * 1024.0;
    }
  }
  return 0;
}

// What decoding `line` adds to the resident high-water mark, in bytes, measured in a child
// process whose free heap has been returned first, so that earlier work cannot hide the peak.
double DecodePeakBytes(const std::string& line) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";  // the high-water mark restarts from here
    const double before = StatusBytes("VmRSS:");
    double peak = -1;
    {
      auto message = protocol::DecodeMessage(line);
      peak = StatusBytes("VmHWM:") - before;
      if (!message.ok() && message.error().text.empty()) peak = -1;
    }
    const ssize_t written = write(fds[1], &peak, sizeof peak);
    _exit(written == sizeof peak ? 0 : 1);
  }
  close(fds[1]);
  double peak = -1;
  if (child < 0 || read(fds[0], &peak, sizeof peak) != sizeof peak) peak = -1;
  close(fds[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return std::max(peak, 0.0);
}

/// A figure beside its yardstick, as plain numbers (its unit is part of its name).
TableRow Row(std::string figure, double value, double yardstick) {
  return {std::move(figure), Printed("%.3f", value), Printed("%.3f", yardstick),
          Printed("%.2f", yardstick != 0 ? value / yardstick : 0)};
}

// The peak that decoding `line` adds, against the decoder's bound for it.
TableRow PeakRow(const std::string& what, const std::string& line) {
  const double size = static_cast<double>(line.size());
  return Row("decode peak MiB, " + what + " (vs 8 x line + 1 MiB)", DecodePeakBytes(line) / kMiB,
             (kPeakPerByte * size + kPeakConstant) / kMiB);
}

std::string Megabytes(double bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g MB", bytes / 1e6);
  return text;
}

}  // namespace

std::vector<TableRow> RunDecodeBench(double scale) {
  std::vector<TableRow> times;
  std::vector<TableRow> peaks;
  for (const Shape& shape : kShapes) {
    double first_per_mb = 0;
    for (const double mb : {1.0, 2.0, 4.0, 8.0}) {
      const std::string line = shape.Make(static_cast<size_t>(mb * scale * 1e6));
      const double size = static_cast<double>(line.size());
      const double per_mb = DecodeSeconds(line) * 1e3 / (size / 1e6);
      if (first_per_mb == 0) first_per_mb = per_mb;
      const std::string what = std::string(shape.name) + ", " + Megabytes(size) + " line";
      times.push_back(Row("decode CPU ms/MB, " + what + " (vs smallest; limit " +
                              std::to_string(static_cast<int>(kFlatness)) + ")",
                          per_mb, first_per_mb));
      peaks.push_back(PeakRow(what, line));
    }
  }
  for (const size_t frames : {1000, 10000, 50000}) {
    const std::string line = Batch(frames);
    const double size = static_cast<double>(line.size());
    const std::string what =
        "SendMessagesBatch " + std::to_string(frames) + " frames, " + Megabytes(size) + " line";
    times.push_back(
        Row("decode frames/CPU s, " + what + " (vs 1,000,000)", frames / DecodeSeconds(line), 1e6));
    peaks.push_back(PeakRow(what, line));
  }
  times.insert(times.end(), peaks.begin(), peaks.end());
  return times;
}

}  // namespace tarnix::bench
