// The benchmark: the real bridge on ptsim, each figure beside its yardstick measured in the same
// run, printed as one table. Figures only; nothing here passes or fails.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "sections.h"

// The decoder's figures join the table when tools/bench/decode_bench.h is present; it declares
// std::vector<BenchRow> RunDecodeBench(const BenchSettings&) in tarnix::bench.
#if __has_include("decode_bench.h")
#include "decode_bench.h"
#define TARNIX_BENCH_DECODING 1
#endif

namespace {

using namespace tarnix;
using bench::BenchRow;
using bench::BenchSettings;

constexpr char kUsage[] =
    "Usage: tarnix_bench [--seconds S] [--repeats N] [--bridge PATH]\n"
    "Starts the bridge (default: tarnix beside this program) on ptsim and prints each figure as\n"
    "min / median over N repeats (default 5) beside its yardstick; S (default 1) is the length of\n"
    "one throughput sample.\n";

bool ParseOptions(const std::vector<std::string>& args, BenchSettings& settings) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[i + 1];
    if (args[i] == "--seconds") {
      settings.seconds = std::atof(value.c_str());
    } else if (args[i] == "--repeats") {
      settings.repeats = static_cast<size_t>(std::atoi(value.c_str()));
    } else if (args[i] == "--bridge") {
      settings.bridge = value;
    } else {
      return false;
    }
    ++i;
  }
  return settings.seconds > 0 && settings.repeats > 0;
}

void PrintTable(const std::vector<BenchRow>& rows) {
  std::printf("| figure | min / median | yardstick: min / median | ratio of medians |\n");
  std::printf("|---|---|---|---|\n");
  for (const BenchRow& row : rows) {
    std::printf("| %s | %s | %s | %s |\n", row.figure.c_str(), row.value.c_str(),
                row.yardstick.c_str(), row.ratio.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  if (args.size() == 3 && args[1] == "--idle-ticker") bench::IdleTicker(std::atoi(args[2].c_str()));
  BenchSettings settings;
  const std::string here = platform::ExecutableDirectory();
  settings.bridge = here + platform::ExecutableFileName("tarnix");
  settings.ptsim = here + platform::SharedLibraryFileName("ptsim0404");
  settings.self = here + platform::ExecutableFileName("tarnix_bench");
  if (!ParseOptions(args, settings)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::printf(
      "tarnix_bench: %s on ptsim (ISO 15765), %zu repeats, %.1f s per throughput sample\n\n",
      settings.bridge.c_str(), settings.repeats, settings.seconds);
  std::fflush(stdout);

  std::vector<BenchRow> rows;
  for (const auto measure :
       {&bench::MeasureReading, &bench::MeasureSending, &bench::MeasureRoundTrip,
        &bench::MeasureIdle, &bench::MeasurePeakMemory}) {
    for (BenchRow& row : measure(settings))
      rows.push_back(std::move(row));
  }
#ifdef TARNIX_BENCH_DECODING
  for (BenchRow& row : bench::RunDecodeBench(settings))
    rows.push_back(std::move(row));
#endif
  PrintTable(rows);
  return 0;
}
