// A trace line as rows of tarnix_trace's table: time, duration, call, handles, flags, data and
// status, with long data wrapped onto rows of its own.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "common/result.h"
#include "trace/call.h"

namespace tarnix::tools {

/// The cells of one table row; continuation rows leave all but `flags` and `data` empty.
struct Row {
  std::string line, time, us, call, handles, flags, data, status;
};

/// The header row.
Row HeaderRow();

/// The rows of line number `number`: its decoded form, or the reason it was refused.
std::vector<Row> RowsOf(size_t number, const Result<trace::Line>& line);

/// A row with its cells padded to the table's column widths (data wraps, so only a cell that
/// is wider than its column pushes the rest of its row to the right).
std::string FormatRow(const Row& row);

}  // namespace tarnix::tools
