// The trace writer: typed lines to the exact text of ptsim's call log and the bridge's trace.
// Values are written plain: numbers as numbers, text as JSON strings, pointers as null or
// "non-null", records as {"protocol",...,"data":"<uppercase hex>"}.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "trace/call.h"

namespace tarnix::trace {

/// Bytes as a line writes them: uppercase hex without separators, {0x07, 0xE0} -> "07E0".
std::string Hex(std::span<const uint8_t> bytes);

/// A call line: {"fn":..., arguments, "ret":..., ["injected":true], ["replay":"diverged"],
/// outputs}.
std::string EncodeCall(const Call& call);

/// Any line; a bridge trace's "t" and "us", when present, close it.
std::string EncodeLine(const Line& line);

/// A line without content of its own: {"fn":"load"}, {"fn":"unload"} or
/// {"fn":"trace","truncated":true}.
std::string EncodeMarker(Line::Kind kind);

/// The crashed line around its entry point: `head` + the name as a JSON string, or null, +
/// `tail` is the line, so that a fault handler can write it without building anything.
struct CrashedLineParts {
  std::string head;
  std::string tail;
};
CrashedLineParts EncodeCrashedLineParts();

/// {"fn":"config","problem":...}
std::string EncodeProblem(std::string_view problem);

/// {"fn":"loaderThread","event":<event>}: ptsim's loader thread "started" or "ended".
std::string EncodeThreadEvent(std::string_view event);

}  // namespace tarnix::trace
