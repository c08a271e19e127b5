// The benchmark: the real bridge on ptsim, each figure beside its yardstick measured in the same
// run, printed as one table. Figures only; nothing here passes or fails.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/dynamic_library.h"
#include "platform/process.h"
#include "samples.h"
#include "sections.h"

#include "decode_bench.h"

namespace {

using namespace tarnix;
using bench::BenchSettings;
using bench::TableRow;

constexpr char kUsage[] =
    "Usage: tarnix_bench [--seconds S] [--repeats N] [--decode-scale F] [--bridge PATH]\n"
    "                    [--only "
    "reading|sending|latency|concurrent|idle|memory|passthru|decoding]\n"
    "Starts the bridge (default: tarnix beside this program) on ptsim and prints each figure as\n"
    "min / median over N repeats (default 5) beside its yardstick; S (default 1) is the length of\n"
    "one throughput sample. The decoder's lines of 1 to 8 MB are scaled by F (default 1; 0 leaves\n"
    "them out). --only measures that one figure (with its yardsticks) and nothing else.\n";

/// The decoder's line sizes are multiplied by this (0: its figures are left out).
double decode_scale = 1;
/// The one section to measure; empty: all of them.
std::string only;

struct Section {
  const char* name;
  std::vector<TableRow> (*measure)(const BenchSettings&);
};
constexpr Section kSections[] = {
    {"reading", &bench::MeasureReading},   {"sending", &bench::MeasureSending},
    {"latency", &bench::MeasureRoundTrip}, {"concurrent", &bench::MeasureSendDuringRead},
    {"idle", &bench::MeasureIdle},         {"memory", &bench::MeasurePeakMemory},
    {"passthru", &bench::MeasurePassThru}};

bool KnownSection(const std::string& name) {
  if (name.empty() || name == "decoding") return true;
  for (const Section& section : kSections)
    if (name == section.name) return true;
  return false;
}

bool ParseOptions(const std::vector<std::string>& args, BenchSettings& settings) {
  for (size_t i = 1; i < args.size(); ++i) {
    if (i + 1 >= args.size()) return false;
    const std::string& value = args[i + 1];
    if (args[i] == "--seconds") {
      settings.seconds = std::atof(value.c_str());
    } else if (args[i] == "--repeats") {
      settings.repeats = static_cast<size_t>(std::atoi(value.c_str()));
    } else if (args[i] == "--decode-scale") {
      decode_scale = std::atof(value.c_str());
    } else if (args[i] == "--only") {
      only = value;
    } else if (args[i] == "--bridge") {
      settings.bridge = value;
    } else {
      return false;
    }
    ++i;
  }
  return settings.seconds > 0 && settings.repeats > 0 && decode_scale >= 0 && KnownSection(only);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  if (args.size() == 3 && args[1] == "--idle-ticker") bench::IdleTicker(std::atoi(args[2].c_str()));
  BenchSettings settings;
  const std::string here = platform::ExecutableDirectory();
  settings.bridge = here + platform::ExecutableFileName("tarnix");
  settings.ptsim = here + platform::SharedLibraryFileName("ptsim0404");
  settings.shim = here + platform::SharedLibraryFileName("tarnix_passthru");
  settings.self = here + platform::ExecutableFileName("tarnix_bench");
  if (!ParseOptions(args, settings)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  std::printf(
      "tarnix_bench: %s on ptsim (ISO 15765), %zu repeats, %.1f s per throughput sample\n\n",
      settings.bridge.c_str(), settings.repeats, settings.seconds);
  std::fflush(stdout);

  std::vector<TableRow> rows;
  for (const auto& [name, measure] : kSections) {
    if (!only.empty() && only != name) continue;
    for (TableRow& row : measure(settings))
      rows.push_back(std::move(row));
  }
  if (decode_scale > 0 && (only.empty() || only == "decoding")) {
    std::vector<TableRow> decoded = bench::RunDecodeBench(decode_scale);
    if (decoded.empty()) rows.push_back(bench::Missing("decoding", "measured on Linux only"));
    for (TableRow& row : decoded)
      rows.push_back(std::move(row));
  }
  bench::PrintTable(rows);
  return 0;
}
