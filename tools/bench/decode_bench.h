// The request decoder's figures: time per MB and peak memory for long lines of every shape.
#pragma once

#include <vector>

#include "table_row.h"

namespace tarnix::bench {

/// Decodes lines of 1, 2, 4 and 8 MB (times `scale`) of long numbers, byte arrays, deep nesting
/// and long strings, and SendMessagesBatch lines of 1,000, 10,000 and 50,000 frames. Returns, per
/// line, the decode time per MB against the same shape's smallest line (flat within 2), and the
/// peak memory the decoding adds against 8 times the line's length plus 1 MiB. Linux only (the peak
/// is read from the process's resident high-water mark).
std::vector<TableRow> RunDecodeBench(double scale);

}  // namespace tarnix::bench
