// A call line of the trace format as typed data: what one PassThru call was given and gave back.
// ptsim's call log and the bridge's trace both write these lines; the trace reader produces them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tarnix::trace {

/// The interface form of a library: 04.04 records, or the packed 05.00 records.
enum class Form { k0404, k0500 };

/// A message record as a line shows it.
struct Record {
  uint32_t protocol = 0;
  uint32_t rx_status = 0;
  uint32_t tx_flags = 0;
  uint32_t timestamp = 0;
  uint32_t data_size = 0;  ///< DataSize (04.04) or DataLength (05.00), as the record states it
  uint32_t extra_data_index = 0;
  std::optional<uint32_t> buffer_size;  ///< 05.00 DataBufferSize
  bool null_buffer = false;             ///< 05.00 DataBuffer is a null pointer ("data":null)
  std::vector<uint8_t> data;            ///< the stated bytes, never beyond the data area
};

/// One SCONFIG entry; its "name" is derived from the parameter when a line is written.
struct ConfigItem {
  uint32_t parameter = 0;
  uint32_t value = 0;
};

/// An SBYTE_ARRAY: its NumOfBytes and its bytes (nullopt: BytePtr is null).
struct ByteArray {
  uint32_t num_of_bytes = 0;
  std::optional<std::vector<uint8_t>> data;
};

/// The 05.00 RESOURCE_STRUCT: connector, NumOfResources and the pins (nullopt: a null list).
struct Resource {
  uint32_t connector = 0;
  uint32_t num_resources = 0;
  std::optional<std::vector<uint32_t>> pins;
};

/// A null pointer ("null") and a pointer the line does not decode ("non-null").
struct NullPointer {};
struct NonNullPointer {};

/// The value of one member of a call line.
using Value = std::variant<NullPointer, NonNullPointer, uint64_t, std::string, Record,
                           std::vector<Record>, std::vector<ConfigItem>, ByteArray, Resource>;

/// One member: its key (static text: a literal, or the reader's key table) and its value.
struct Field {
  std::string_view key;
  Value value;
};

/// The members of one side of a call (arguments or outputs), in the order they are written.
class Fields {
 public:
  Fields& Num(std::string_view key, uint64_t value) { return Add(key, value); }
  Fields& Str(std::string_view key, std::string_view value) { return Add(key, std::string(value)); }
  Fields& Null(std::string_view key) { return Add(key, NullPointer{}); }
  /// `null` for a null pointer, `"non-null"` for any other.
  Fields& Pointer(std::string_view key, const void* pointer);
  Fields& Add(std::string_view key, Value value);

  /// The value of `key`, or null when the member is absent.
  const Value* Find(std::string_view key) const;
  const std::vector<Field>& items() const { return items_; }
  bool empty() const { return items_.empty(); }

 private:
  std::vector<Field> items_;
};

/// One entry-point call: `{"fn":..., arguments, "ret":..., ["injected":true],
/// ["replay":"diverged"], outputs}`.
struct Call {
  std::string fn;
  Fields args;
  uint32_t ret = 0;
  bool injected = false;  ///< a PTSIM_FAIL rule decided the result
  bool diverged = false;  ///< a replayed call that did not match the recording
  Fields outputs;

  /// The member `key` among the arguments, else among the outputs; null when absent.
  const Value* Find(std::string_view key) const;
  /// The number `key` holds; nullopt when it is absent or not a number.
  std::optional<uint64_t> Number(std::string_view key) const;
};

/// The line that opens each connection of a bridge trace.
struct Header {
  uint32_t version = 1;
  std::string bridge;  ///< the bridge's version
  uint32_t bits = 64;  ///< the bridge's width
  std::string library;
};

/// One line of a trace file or call log.
struct Line {
  enum class Kind {
    kCall,       ///< an entry-point call
    kLoad,       ///< {"fn":"load"}
    kUnload,     ///< {"fn":"unload"}
    kConfig,     ///< {"fn":"config","problem":...}
    kThread,     ///< {"fn":"loaderThread","event":...}: a ptsim library's own thread
    kHeader,     ///< {"fn":"trace","version":1,...}
    kTruncated,  ///< {"fn":"trace","truncated":true}: the size bound stopped the recording
    kCrashed,    ///< {"fn":"trace","crashed":<entry point or null>}: the bridge faulted
  };
  Kind kind = Kind::kCall;
  Call call;                              ///< kCall
  std::string problem;                    ///< kConfig
  std::string event;                      ///< kThread: "started" or "ended"
  Header header;                          ///< kHeader
  std::optional<std::string> crashed_in;  ///< kCrashed: the entry point that was running, if any
  std::optional<uint64_t> t;              ///< microseconds since the bridge started (bridge traces)
  std::optional<uint64_t> us;             ///< the call's duration in microseconds (bridge traces)
};

}  // namespace tarnix::trace
