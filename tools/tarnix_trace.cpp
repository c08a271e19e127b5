// tarnix_trace: prints a bridge trace or a ptsim call log as an aligned table, optionally only the
// lines of some entry points. Lines that cannot be read are shown as refused.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "tools/trace_table.h"
#include "trace/line_source.h"

namespace {

using namespace tarnix;

constexpr char kUsage[] =
    "Usage: tarnix_trace [--fn NAME]... [FILE]\n"
    "Prints a trace (TARNIX_TRACE) or a ptsim call log (PTSIM_LOG) from FILE (default: standard\n"
    "input) as a table: line, time since the bridge started, duration, call, handles, flags,\n"
    "data and status. --fn keeps only the calls of entry point NAME (PassThru may be left out;\n"
    "repeat it for several). Lines that cannot be read are shown as refused.\n"
    "Exit status: 0, 1 when a line was refused, 2 when FILE cannot be read.\n";

struct Options {
  std::set<std::string> fns;
  std::string file;
};

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--fn" && i + 1 < args.size()) {
      const std::string& name = args[++i];
      options.fns.insert(name.rfind("PassThru", 0) == 0 ? name : "PassThru" + name);
    } else if (arg.rfind("--", 0) == 0 || !options.file.empty()) {
      return false;
    } else {
      options.file = arg;
    }
  }
  return true;
}

/// Whether `line` passes the --fn filter; refused lines always do, they may be what is sought.
bool Shown(const Options& options, const Result<trace::Line>& line) {
  if (options.fns.empty() || !line) return true;
  return line->kind == trace::Line::Kind::kCall && options.fns.count(line->call.fn) > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(platform::CommandLineArguments(argc, argv), options)) {
    std::cerr << kUsage;
    return 2;
  }
  std::ifstream file;
  if (!options.file.empty()) {
    file.open(std::filesystem::path(std::u8string(options.file.begin(), options.file.end())),
              std::ios::binary);
    if (!file) {
      std::cerr << "tarnix_trace: cannot read " << options.file << "\n";
      return 2;
    }
  }
  trace::LineSource source(options.file.empty() ? std::cin : file);
  std::cout << tools::FormatRow(tools::HeaderRow()) << "\n";
  bool refused = false;
  trace::RawLine raw;
  while (source.Next(raw)) {
    const Result<trace::Line> line = trace::DecodeRawLine(raw);
    refused = refused || !line.ok();
    if (!Shown(options, line)) continue;
    for (const tools::Row& row : tools::RowsOf(raw.number, line)) {
      std::cout << tools::FormatRow(row) << "\n";
    }
  }
  std::cout.flush();
  return refused ? 1 : 0;
}
