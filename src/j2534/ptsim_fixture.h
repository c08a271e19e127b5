// Test support: runs the J2534 layer against ptsim, our simulated adapter, and reads its call log.
#pragma once

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "j2534/connect.h"
#include "log/captured_log.h"
#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/process.h"
#include "tests/support/temp_folder.h"

namespace tarnix::j2534 {

/// The loader's detail text for a missing export on this system.
inline const std::string kNotFound(platform::kFindFailed);

/// One line of ptsim's call log.
using Call = rapidjson::Document;

/// The error of a result, or nullopt when it succeeded.
template <typename T>
std::optional<PassThruError> ErrorOf(Result<T, PassThruError> result) {
  if (result) return std::nullopt;
  return std::move(result).error();
}

/// An operation on a library that lacks one entry point, and the entry point its error names.
struct MissingEntryPoint {
  const char* library;
  std::function<std::optional<PassThruError>(Connection&)> operation;
  const char* function;
};

/// Each test gets its own call log and a clean set of PTSIM_* variables, restored afterwards.
class PtsimTest : public ::testing::Test {
 public:
  friend void ExpectFunctionNotFound(const std::vector<MissingEntryPoint>& cases,
                                     const std::function<void(Connection&)>& after);

 protected:
  static constexpr uint32_t kBaud = 500000;

  void SetUp() override {
    for (const char* name : kVariables) {
      saved_.emplace_back(name, platform::GetEnvironment(name));
      platform::SetEnvironment(name, std::nullopt);
    }
    platform::SetEnvironment("PTSIM_LOG", log_path_);
    log_.emplace();
  }

  void TearDown() override {
    log_.reset();
    for (const auto& [name, value] : saved_)
      platform::SetEnvironment(name, value);
  }

  static void Env(const std::string& name, const std::string& value) {
    platform::SetEnvironment(name, value);
  }

  static std::string LibraryPath(std::string_view base) {
    return platform::ExecutableDirectory() + platform::SharedLibraryFileName(base);
  }

  static Result<Connection, PassThruError> Sequence(std::string_view base, uint32_t protocol,
                                                    uint32_t flags = 0,
                                                    const Clock& clock = SteadyClock()) {
    return RunConnectionSequence({LibraryPath(base), protocol, kBaud, flags}, clock);
  }

  /// A connection the test expects to succeed; nullopt (and a test failure) otherwise.
  static std::optional<Connection> Open(std::string_view base, uint32_t protocol,
                                        uint32_t flags = 0, const Clock& clock = SteadyClock()) {
    auto connection = Sequence(base, protocol, flags, clock);
    if (!connection) {
      ADD_FAILURE() << connection.error().text;
      return std::nullopt;
    }
    return std::move(connection).value();
  }

  /// Every logged call so far, in order.
  std::vector<Call> Calls() const {
    std::vector<Call> calls;
    std::ifstream file(log_path_);
    for (std::string line; std::getline(file, line);) {
      Call call;
      call.Parse(line.c_str());
      if (call.HasParseError() || !call.IsObject() || !call.HasMember("fn")) {
        ADD_FAILURE() << "unreadable log line: " << line;
        continue;
      }
      if (std::string(call["fn"].GetString()) == "config") {
        ADD_FAILURE() << "ptsim ignored a control: " << line;
        continue;
      }
      calls.push_back(std::move(call));
    }
    return calls;
  }

  /// The logged calls of `fn`.
  std::vector<Call> CallsOf(const std::string& fn) const {
    std::vector<Call> matching;
    for (Call& call : Calls()) {
      if (fn == call["fn"].GetString()) matching.push_back(std::move(call));
    }
    return matching;
  }

  /// The entry-point names logged so far, "load" and "unload" included.
  std::vector<std::string> Fns() const {
    std::vector<std::string> fns;
    for (const Call& call : Calls())
      fns.emplace_back(call["fn"].GetString());
    return fns;
  }

  /// The names logged from the first call of `fn` on.
  std::vector<std::string> FnsFrom(const std::string& fn) const {
    std::vector<std::string> fns = Fns();
    auto first = std::find(fns.begin(), fns.end(), fn);
    return {first, fns.end()};
  }

  /// Forgets the calls logged so far.
  void ClearCalls() const { std::ofstream(log_path_, std::ios::trunc); }

  std::vector<std::string> LogLines() { return log_->Lines(); }

 private:
  static constexpr const char* kVariables[] = {
      "PTSIM_LOG",     "PTSIM_LOG_READS", "PTSIM_FAIL",   "PTSIM_LAST_ERROR",
      "PTSIM_ECHO",    "PTSIM_KEYWORDS",  "PTSIM_NO_CC",  "PTSIM_VBATT",
      "PTSIM_TRAFFIC", "PTSIM_MISBEHAVE", "PTSIM_STRICT", "PTSIM_UNLOAD_DELAY_MS"};

  test_support::TempFolder folder_{"j2534"};
  std::string log_path_ = folder_.File("calls.log");
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
  std::optional<CapturedLog> log_;
};

/// A string member of a logged call or of one of its objects.
inline std::string Str(const rapidjson::Value& object, const char* key) {
  return object.HasMember(key) && object[key].IsString() ? object[key].GetString() : "<absent>";
}

/// Opens each case's library on CAN and expects its operation to fail with the FUNC_NOT_FOUND
/// text; `after` then runs on the same connection (to show it is still usable).
inline void ExpectFunctionNotFound(const std::vector<MissingEntryPoint>& cases,
                                   const std::function<void(Connection&)>& after = {}) {
  for (const MissingEntryPoint& c : cases) {
    SCOPED_TRACE(c.library);
    std::optional<Connection> connection = PtsimTest::Open(c.library, passthru::kCan);
    ASSERT_TRUE(connection);
    std::optional<PassThruError> error = c.operation(*connection);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->text,
              "ERR_J2534_FUNC_NOT_FOUND: " + std::string(c.function) + " - " + kNotFound);
    if (after) after(*connection);
  }
}

/// A number member, or -1 when absent.
inline int64_t Num(const rapidjson::Value& object, const char* key) {
  return object.HasMember(key) && object[key].IsNumber() ? object[key].GetInt64() : -1;
}

}  // namespace tarnix::j2534
