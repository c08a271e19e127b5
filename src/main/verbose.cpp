// Reads TARNIX_VERBOSE once; every later query sees the same answer.
#include "main/verbose.h"

#include "platform/environment.h"

namespace tarnix::main {

bool VerboseValueEnables(const std::optional<std::string>& value) {
  if (!value) return false;
  if (*value == "1") return true;
  if (value->size() != 4) return false;
  static constexpr char kTrue[] = "true";
  for (size_t i = 0; i < 4; ++i) {
    char c = (*value)[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kTrue[i]) return false;
  }
  return true;
}

bool Verbose() {
  // A function-local static is initialised exactly once, even with concurrent first callers.
  static const bool verbose = VerboseValueEnables(platform::GetEnvironment("TARNIX_VERBOSE"));
  return verbose;
}

}  // namespace tarnix::main
