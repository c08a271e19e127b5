// One request line of the forwarding library: envelope, parameters, the line feed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/json_writer.h"

namespace tarnix::shim {

/// Builds {"id":N,"method":M,"params":{...}}: parameters are written through params(), each a Key
/// and a value; a request without any has no "params".
class Request {
 public:
  Request(uint64_t id, std::string_view method) : id_(id), method_(method) {
    out_.BeginObject();
    out_.Key("id");
    out_.Unsigned(id);
    out_.Key("method");
    out_.String(method);
  }

  uint64_t id() const { return id_; }
  std::string_view method() const { return method_; }

  /// The writer, inside the "params" object.
  JsonWriter& params() {
    if (!has_params_) {
      out_.Key("params");
      out_.BeginObject();
      has_params_ = true;
    }
    return out_;
  }

  /// Shorthands for the common parameters.
  Request& Number(std::string_view key, uint64_t value) {
    params().Key(key);
    out_.Unsigned(value);
    return *this;
  }
  Request& Flag(std::string_view key, bool value) {
    params().Key(key);
    out_.Bool(value);
    return *this;
  }
  Request& Text(std::string_view key, std::string_view value) {
    params().Key(key);
    out_.String(value);
    return *this;
  }

  /// The whole line, its line feed included; the request is used up.
  std::string Line() {
    if (has_params_) out_.EndObject();
    out_.EndObject();
    std::string line = out_.Take();
    line.push_back('\n');
    return line;
  }

 private:
  uint64_t id_;
  std::string_view method_;
  JsonWriter out_;
  bool has_params_ = false;
};

}  // namespace tarnix::shim
