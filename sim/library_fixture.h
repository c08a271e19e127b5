// The entry-point layer under test: a Library with an environment of the test's own, its call
// log read back as JSON, and the bridge's usual start of a session.
#pragma once

#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "passthru/abi.h"
#include "passthru/numbers.h"
#include "sim/library.h"
#include "tests/support/temp_folder.h"

namespace tarnix::sim {

using Json = rapidjson::Value;

/// Member `key` of the object `value`; a test failure (and null) when it is missing. (RapidJSON's
/// own operator[] and operator== are unusable here: the first asserts, the second recurses under
/// C++20's reversed comparisons.)
inline const Json& At(const Json& value, const char* key) {
  static const Json null;
  if (!value.IsObject() || !value.HasMember(key)) {
    ADD_FAILURE() << "no member " << key;
    return null;
  }
  return value[key];
}
inline const Json& At(const Json& value, const char* key, size_t index) {
  static const Json null;
  const Json& array = At(value, key);
  if (!array.IsArray() || index >= array.Size()) {
    ADD_FAILURE() << key << " has no element " << index;
    return null;
  }
  return array[static_cast<rapidjson::SizeType>(index)];
}
inline uint64_t Num(const Json& value, const char* key) {
  const Json& member = At(value, key);
  return member.IsUint64() ? member.GetUint64() : ~uint64_t{0};
}
inline std::string Str(const Json& value, const char* key) {
  const Json& member = At(value, key);
  return member.IsString() ? member.GetString() : "<not a string>";
}
inline bool IsNull(const Json& value, const char* key) {
  return At(value, key).IsNull();
}

class LibraryTest : public ::testing::Test {
 protected:
  LibraryTest() { env_["PTSIM_LOG"] = log_; }

  std::unique_ptr<Library> Make(Form form) {
    return std::make_unique<Library>(form, "ptsim_test", [this](const char* name) {
      const auto it = env_.find(name);
      return it == env_.end() ? std::nullopt : std::optional<std::string>(it->second);
    });
  }

  /// Opens the device and connects a channel with a pass-all filter, the bridge's usual start.
  uint32_t Start(Library& lib, uint32_t protocol) {
    uint32_t device = 0;
    uint32_t channel = 0;
    uint32_t filter = 0;
    EXPECT_EQ(lib.Open(nullptr, &device), 0);
    EXPECT_EQ(lib.Connect(device, protocol, 0, 500000, nullptr, &channel), 0);
    passthru::PassThruMsg0404 mask{};
    mask.ProtocolID = protocol;
    mask.DataSize = passthru::IsCanLike(protocol) ? 4 : 1;
    EXPECT_EQ(lib.StartMsgFilter(channel, passthru::kPassFilter, &mask, &mask, nullptr, &filter),
              0);
    return channel;
  }

  /// The log's lines, parsed.
  std::vector<rapidjson::Document> Lines() const {
    std::vector<rapidjson::Document> lines;
    std::ifstream in(log_);
    for (std::string line; std::getline(in, line);) {
      lines.emplace_back();
      lines.back().Parse(line.c_str());
      EXPECT_FALSE(lines.back().HasParseError()) << line;
    }
    return lines;
  }

  /// The last logged line of entry point `fn`.
  rapidjson::Document Last(const char* fn) const {
    auto lines = Lines();
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
      if (it->IsObject() && it->HasMember("fn") && std::string((*it)["fn"].GetString()) == fn) {
        return std::move(*it);
      }
    }
    std::ifstream in(log_);
    ADD_FAILURE() << "no line for " << fn << " in:\n"
                  << std::string(std::istreambuf_iterator<char>(in), {});
    return {};
  }

  test_support::TempFolder folder_{"ptsim"};
  std::string log_ = folder_.File("calls.log");
  std::map<std::string, std::string> env_;
};

}  // namespace tarnix::sim
