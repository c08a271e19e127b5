// The append-only call log file.
#include "sim/call_log.h"

#include <filesystem>
#include <fstream>

namespace tarnix::sim {

void CallLog::Write(const std::string& path, const std::string& line) {
  if (path.empty()) return;
  const std::filesystem::path file(std::u8string(path.begin(), path.end()));
  std::lock_guard lock(mutex_);
  std::ofstream out(file, std::ios::binary | std::ios::app);
  out << line << '\n';
}

}  // namespace tarnix::sim
