// Rows of tarnix_trace's table: what each kind of line shows in each column.
#include "tools/trace_table.h"

#include <algorithm>
#include <cstdio>

#include "passthru/names.h"
#include "passthru/numbers.h"

namespace tarnix::tools {
namespace {

using trace::Call;

constexpr size_t kBytesPerRow = 16;
constexpr size_t kWidths[] = {6, 12, 8, 34, 18, 16, 49};  // line ... data; status takes the rest

/// One flags-and-data pair of a call: a record, a parameter, a text.
struct Item {
  std::string flags;
  std::string data;
};

std::string Hex32(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string Num(const Call& call, std::string_view key) {
  const auto value = call.Number(key);
  return value ? std::to_string(*value) : "?";
}

template <typename T>
const T* Get(const Call& call, std::string_view key) {
  const trace::Value* value = call.Find(key);
  return value == nullptr ? nullptr : std::get_if<T>(value);
}

/// `bytes` spaced by byte, `label` first, wrapped onto items of kBytesPerRow bytes.
void AddBytes(std::vector<Item>& items, std::string flags, const std::string& label,
              const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string data = label;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0 && i % kBytesPerRow == 0) {
      items.push_back({std::move(flags), std::move(data)});
      flags.clear();
      data.clear();
    }
    if (!data.empty()) data += ' ';
    data += kDigits[bytes[i] >> 4];
    data += kDigits[bytes[i] & 0x0F];
  }
  items.push_back({std::move(flags), std::move(data)});
}

void AddRecord(std::vector<Item>& items, const std::string& label, const trace::Record& record,
               bool received) {
  std::string flags =
      received ? "rx " + Hex32(record.rx_status) + " @" + std::to_string(record.timestamp)
               : "tx " + Hex32(record.tx_flags);
  if (record.null_buffer)
    return items.push_back({std::move(flags), label + (label.empty() ? "" : " ") + "(no buffer)"});
  AddBytes(items, std::move(flags), label, record.data);
}

void AddRecordOf(std::vector<Item>& items, const Call& call, std::string_view key,
                 const std::string& label) {
  if (const auto* record = Get<trace::Record>(call, key)) AddRecord(items, label, *record, false);
}

/// The ioctl's own columns: its parameters, voltages, keyword bytes or FAST_INIT exchange.
void DescribeIoctl(const Call& call, std::vector<Item>& items) {
  if (const auto* config = Get<std::vector<trace::ConfigItem>>(call, "input")) {
    for (const auto& item : *config) {
      const auto name = passthru::ParameterName(item.parameter);
      items.push_back({"", std::string(name.value_or(Hex32(item.parameter))) + " = " +
                               std::to_string(item.value)});
    }
  }
  if (const auto mv = call.Number("output")) items.push_back({"", std::to_string(*mv) + " mV"});
  if (const auto* address = Get<trace::ByteArray>(call, "input")) {
    AddBytes(items, "", "address", address->data.value_or(std::vector<uint8_t>{}));
  }
  if (const auto* bytes = Get<trace::ByteArray>(call, "output")) {
    const bool keywords = *call.Number("ioctlId") == passthru::kFiveBaudInit;
    AddBytes(items, "", keywords ? "keywords" : "bytes",
             bytes->data.value_or(std::vector<uint8_t>{}));
  }
  AddRecordOf(items, call, "input", "request");
  if (const auto* response = Get<trace::Record>(call, "output")) {
    AddRecord(items, "response", *response, true);
  }
}

/// The handles column and the flags-and-data items of a call.
std::string Describe(const Call& call, std::vector<Item>& items) {
  const std::string& fn = call.fn;
  const auto out = [&](std::string_view key, const char* name) {
    return call.Number(key) ? std::string(" -> ") + name + " " + Num(call, key) : std::string();
  };
  if (const auto* records = Get<std::vector<trace::Record>>(call, "msgs")) {
    for (const auto& record : *records)
      AddRecord(items, "", record, fn == "PassThruReadMsgs");
  }
  if (fn == "PassThruOpen") {
    if (const auto* name = Get<std::string>(call, "name")) items.push_back({"", *name});
    return call.Number("deviceId") ? "-> dev " + Num(call, "deviceId") : "";
  }
  if (fn == "PassThruGetNextDevice" && call.Number("available")) {
    items.push_back({"available " + Num(call, "available"), ""});
  }
  if (fn == "PassThruConnect") {
    items.push_back({"proto " + Num(call, "protocolId") + " " + Hex32(*call.Number("flags")),
                     Num(call, "baudRate") + " baud"});
    return "dev " + Num(call, "deviceId") + out("channelId", "ch");
  }
  if (fn == "PassThruStartPeriodicMsg") {
    AddRecordOf(items, call, "msg", "every " + Num(call, "interval") + " ms:");
    return "ch " + Num(call, "channelId") + out("msgId", "msg");
  }
  if (fn == "PassThruStartMsgFilter") {
    items.push_back(
        {std::string(passthru::FilterTypeName(*call.Number("filterType")).value_or("?")), ""});
    AddRecordOf(items, call, "mask", "mask");
    AddRecordOf(items, call, "pattern", "pattern");
    AddRecordOf(items, call, "flowControl", "flow control");
    return "ch " + Num(call, "channelId") + out("filterId", "filter");
  }
  if (fn == "PassThruSetProgrammingVoltage") {
    items.push_back({"pin " + Num(call, "pin"), Num(call, "voltage") + " mV"});
  }
  for (const char* key : {"firmware", "dll", "api", "text", "name"}) {
    if (const auto* text = Get<std::string>(call, key)) items.push_back({key, "\"" + *text + "\""});
  }
  if (call.Number("deviceCount")) items.push_back({"", Num(call, "deviceCount") + " device(s)"});
  if (fn == "PassThruIoctl") {
    DescribeIoctl(call, items);
    return "handle " + Num(call, "handle");
  }
  std::string handles;
  if (call.Number("deviceId")) handles = "dev " + Num(call, "deviceId");
  if (call.Number("channelId")) handles = "ch " + Num(call, "channelId");
  if (call.Number("msgId")) handles += " msg " + Num(call, "msgId");
  if (call.Number("filterId")) handles += " filter " + Num(call, "filterId");
  return handles;
}

std::string StatusText(const Call& call) {
  std::string text(passthru::StatusName(call.ret).value_or(std::to_string(call.ret)));
  if (call.injected) text += " (injected)";
  if (call.diverged) text += " (diverged)";
  return text;
}

std::string Seconds(uint64_t micros) {
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%06llu", static_cast<unsigned long long>(micros / 1000000),
                static_cast<unsigned long long>(micros % 1000000));
  return text;
}

}  // namespace

Row HeaderRow() {
  return {"line", "t (s)", "us", "call", "handles", "flags", "data", "status"};
}

std::vector<Row> RowsOf(size_t number, const Result<trace::Line>& line) {
  Row first;
  first.line = std::to_string(number);
  if (!line) {
    first.call = "(refused)";
    first.data = line.error().text;
    return {first};
  }
  if (line->t) first.time = Seconds(*line->t);
  if (line->us) first.us = std::to_string(*line->us);
  std::vector<Item> items;
  switch (line->kind) {
    case trace::Line::Kind::kCall:
      first.call = line->call.fn;
      if (line->call.fn == "PassThruIoctl") {
        const uint64_t id = line->call.Number("ioctlId").value_or(0);
        first.call +=
            "(" + std::string(passthru::IoctlName(static_cast<uint32_t>(id)).value_or(Hex32(id))) +
            ")";
      }
      first.handles = Describe(line->call, items);
      first.status = StatusText(line->call);
      break;
    case trace::Line::Kind::kLoad:
    case trace::Line::Kind::kUnload:
      first.call =
          line->kind == trace::Line::Kind::kLoad ? "(library loaded)" : "(library unloaded)";
      break;
    case trace::Line::Kind::kConfig:
      first.call = "(ptsim control ignored)";
      items.push_back({"", line->problem});
      break;
    case trace::Line::Kind::kThread:
      first.call = "(library thread " + line->event + ")";
      break;
    case trace::Line::Kind::kHeader:
      first.call = "(connection)";
      items.push_back({"", "bridge " + line->header.bridge + ", " +
                               std::to_string(line->header.bits) + "-bit, " +
                               line->header.library});
      break;
    case trace::Line::Kind::kTruncated:
      first.call = "(recording stopped)";
      items.push_back({"", "the trace reached its size bound"});
      break;
    case trace::Line::Kind::kCrashed:
      first.call = "(bridge faulted)";
      items.push_back(
          {"", line->crashed_in ? "during " + *line->crashed_in : "no PassThru call in flight"});
      break;
  }
  std::vector<Row> rows{first};
  for (size_t i = 0; i < items.size(); ++i) {
    if (i > 0) rows.emplace_back();
    rows.back().flags = std::move(items[i].flags);
    rows.back().data = std::move(items[i].data);
  }
  return rows;
}

std::string FormatRow(const Row& row) {
  const std::string* cells[] = {&row.line,    &row.time,  &row.us,   &row.call,
                                &row.handles, &row.flags, &row.data, &row.status};
  std::string text;
  size_t column = 0;  // where the next cell should start
  for (size_t i = 0; i < std::size(cells); ++i) {
    if (text.size() < column) text.append(column - text.size(), ' ');
    if (i > 0 && !text.empty() && text.back() != ' ') text += ' ';
    text += *cells[i];
    if (i < std::size(kWidths)) column += kWidths[i] + 1;
  }
  while (!text.empty() && text.back() == ' ')
    text.pop_back();
  return text;
}

}  // namespace tarnix::tools
