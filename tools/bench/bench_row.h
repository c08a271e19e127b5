// One figure of a benchmark table, printed beside the yardstick it is judged against.
#pragma once

#include <string>

namespace tarnix::bench {

/// A measured figure (its unit is part of its name), the yardstick it is compared with, and
/// value / yardstick.
struct BenchRow {
  std::string figure;
  double value = 0;
  double yardstick = 0;
  double ratio = 0;
};

}  // namespace tarnix::bench
