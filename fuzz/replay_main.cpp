// Replays fuzz inputs (files, or every file of directories) through a fuzz target, for CTest. Built
// with one target, it replays every path given; built as fuzz_replay with every target
// (TARNIX_REPLAY_TOGETHER), each argument is <target>=<path>.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct ReplayTarget {
  std::string_view name;
  int (*fuzz_one)(const uint8_t* data, size_t size);
};

}  // namespace

#ifdef TARNIX_REPLAY_TOGETHER
#include "replay_targets.h"
#else
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
constexpr ReplayTarget kTargets[] = {{"", LLVMFuzzerTestOneInput}};
#endif

namespace {

bool Replay(const ReplayTarget& target, const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
    return false;
  }
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  target.fuzz_one(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  return true;
}

// The target an argument names ("<target>=<path>"), and its path; the only target for a plain path.
const ReplayTarget* TargetOf(std::string_view& argument) {
  if (std::size(kTargets) == 1 && kTargets[0].name.empty()) return &kTargets[0];
  const size_t equals = argument.find('=');
  for (const ReplayTarget& target : kTargets) {
    if (equals != std::string_view::npos && argument.substr(0, equals) == target.name) {
      argument.remove_prefix(equals + 1);
      return &target;
    }
  }
  return nullptr;
}

// The inputs replayed from one argument; none when a file cannot be read or the target is unknown.
size_t ReplayArgument(std::string_view argument) {
  const ReplayTarget* target = TargetOf(argument);
  if (target == nullptr) {
    std::fprintf(stderr, "no fuzz target named in %.*s\n", static_cast<int>(argument.size()),
                 argument.data());
    return 0;
  }
  const std::filesystem::path path(argument);
  std::error_code error;
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_directory(path, error)) {
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
      if (entry.is_regular_file()) files.push_back(entry.path());
    }
  } else {
    files.push_back(path);
  }
  for (const auto& file : files) {
    if (!Replay(*target, file)) return 0;
  }
  std::printf("%.*s%sreplayed %zu inputs\n", static_cast<int>(target->name.size()),
              target->name.data(), target->name.empty() ? "" : ": ", files.size());
  return files.size();
}

}  // namespace

int main(int argc, char** argv) {
  // An empty run, of any argument, means a wrong path, not a pass.
  if (argc < 2) return 1;
  for (int i = 1; i < argc; ++i) {
    if (ReplayArgument(argv[i]) == 0) return 1;
  }
  return 0;
}
