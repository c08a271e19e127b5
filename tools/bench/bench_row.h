// One row of the benchmark's table: a figure, its value, its yardstick and their ratio.
#pragma once

#include <string>

namespace tarnix::bench {

struct BenchRow {
  std::string figure;
  std::string value;
  std::string yardstick;
  std::string ratio;
};

}  // namespace tarnix::bench
