// Minimum and median, units, rows and the table, and the alternating order of the parties.
#include "samples.h"

#include <algorithm>
#include <cstdio>

namespace tarnix::bench {

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

double Samples::Min() const {
  return values_.empty() ? 0 : *std::min_element(values_.begin(), values_.end());
}

double Samples::Median() const {
  if (values_.empty()) return 0;
  std::vector<double> sorted = values_;
  std::sort(sorted.begin(), sorted.end());
  const size_t middle = sorted.size() / 2;
  return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

double Samples::Percentile(double q) const {
  if (values_.empty()) return 0;
  std::vector<double> sorted = values_;
  std::sort(sorted.begin(), sorted.end());
  const auto rank = static_cast<size_t>(q * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(rank, sorted.size() - 1)];
}

std::string FramesPerSecond(double value) {
  return value >= 1e6 ? Printed("%.2f M/s", value / 1e6) : Printed("%.0f k/s", value / 1e3);
}

std::string Microseconds(double value) {
  return Printed("%.1f us", value);
}

std::string Percent(double value) {
  return Printed("%.2f %%", value);
}

std::string Mebibytes(double value) {
  return Printed("%.1f MiB", value / (1024.0 * 1024.0));
}

TableRow Row(const std::string& figure, const Samples& bridge, const std::string& yardstick,
             const Samples& reference, Unit unit) {
  const double median_ratio = reference.Median() > 0 ? bridge.Median() / reference.Median() : -1;
  // A small share keeps its first digits rather than print as 0.00.
  const std::string ratio = median_ratio < 0      ? "-"
                            : median_ratio < 0.01 ? Printed("%.2g", median_ratio)
                                                  : Printed("%.2f", median_ratio);
  return {figure, unit(bridge.Min()) + " / " + unit(bridge.Median()),
          yardstick + ": " + unit(reference.Min()) + " / " + unit(reference.Median()), ratio};
}

TableRow Missing(const std::string& figure, const std::string& reason) {
  std::string text = reason;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return {figure, "not measured: " + text, "-", "-"};
}

void PrintTable(const std::vector<TableRow>& rows) {
  std::printf("| figure | min / median | yardstick: min / median | ratio of medians |\n");
  std::printf("|---|---|---|---|\n");
  for (const TableRow& row : rows) {
    std::printf("| %s | %s | %s | %s |\n", row.figure.c_str(), row.value.c_str(),
                row.yardstick.c_str(), row.ratio.c_str());
  }
}

void Interleave(size_t repeats, const std::vector<std::function<void()>>& parties) {
  for (size_t repeat = 0; repeat < repeats; ++repeat) {
    for (size_t i = 0; i < parties.size(); ++i)
      parties[repeat % 2 == 0 ? i : parties.size() - 1 - i]();
  }
}

}  // namespace tarnix::bench
