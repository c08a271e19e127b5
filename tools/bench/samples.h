// Repeated measurements, their interleaving with the yardsticks', and how figures are written and
// printed: the one table every benchmark prints.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "table_row.h"

namespace tarnix::bench {

/// The values of one quantity over the repeats.
class Samples {
 public:
  void Add(double value) { values_.push_back(value); }
  bool empty() const { return values_.empty(); }
  double Min() const;
  double Median() const;
  /// The value below which the fraction `q` (0 to 1) of the values lie (nearest rank).
  double Percentile(double q) const;

 private:
  std::vector<double> values_;
};

/// `value` written by the printf `format`.
std::string Printed(const char* format, double value);

/// Writes one value in its unit ("2.41 M frames/s", "58.2 us", "0.42 %", "14.2 MiB").
using Unit = std::string (*)(double value);
std::string FramesPerSecond(double value);
std::string Microseconds(double value);
std::string Percent(double value);
std::string Mebibytes(double value);

/// A table row: the bridge's min / median, the yardstick's name and min / median, and the ratio of
/// the medians (bridge over yardstick).
TableRow Row(const std::string& figure, const Samples& bridge, const std::string& yardstick,
             const Samples& reference, Unit unit);

/// A row for a figure that could not be measured, with the reason.
TableRow Missing(const std::string& figure, const std::string& reason);

/// Prints `rows` as a Markdown table: figure, min / median, yardstick: min / median, ratio.
void PrintTable(const std::vector<TableRow>& rows);

/// Runs every party once per repeat, in order on even repeats and in reverse on odd ones, so that
/// a swing of the machine's load falls on all of them alike.
void Interleave(size_t repeats, const std::vector<std::function<void()>>& parties);

}  // namespace tarnix::bench
