// One row of every benchmark's table: a figure, its value, its yardstick and their ratio, as text.
#pragma once

#include <string>

namespace tarnix::bench {

/// The value and yardstick are written in their unit (or plain, the unit in the figure's name).
struct TableRow {
  std::string figure;
  std::string value;
  std::string yardstick;
  std::string ratio;
};

}  // namespace tarnix::bench
