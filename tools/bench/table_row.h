// One row of tarnix_bench's table: a figure, its value, its yardstick and their ratio, as text.
#pragma once

#include <string>

namespace tarnix::bench {

struct TableRow {
  std::string figure;
  std::string value;
  std::string yardstick;
  std::string ratio;
};

}  // namespace tarnix::bench
