// The protocol reference cannot drift: its example sessions replay against the bridge and ptsim,
// and every method the decoder knows has its own section and example there.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "protocol/request.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

const std::string kDocPath = std::string(TARNIX_SOURCE_DIR) + "/docs/protocol.md";
// The documented stand-in for the folder that holds ptsim's libraries.
constexpr std::string_view kDocLibraryFolder = "/opt/ptsim/";

struct Exchange {
  std::string request;
  std::string answer;
};

// One fenced block marked wire: its environment settings and request/answer pairs.
struct DocSession {
  size_t line = 0;  // of the fence, for failure messages
  platform::EnvironmentChanges env;
  std::vector<Exchange> exchanges;
};

std::vector<DocSession> ReadDocSessions(const std::string& text) {
  std::vector<DocSession> sessions;
  DocSession* open = nullptr;
  size_t number = 0;
  for (const std::string& line : SplitLines(text)) {
    ++number;
    if (open == nullptr && line.rfind("```wire", 0) == 0) {
      open = &sessions.emplace_back();
      open->line = number;
      std::istringstream settings(line.substr(7));
      for (std::string setting; settings >> setting;) {
        const size_t equals = setting.find('=');
        open->env.emplace_back(setting.substr(0, equals), setting.substr(equals + 1));
      }
    } else if (open != nullptr && line.rfind("```", 0) == 0) {
      open = nullptr;
    } else if (open != nullptr && line.rfind("-> ", 0) == 0) {
      open->exchanges.push_back({line.substr(3), {}});
    } else if (open != nullptr && line.rfind("<- ", 0) == 0 && !open->exchanges.empty()) {
      open->exchanges.back().answer = line.substr(3);
    }
  }
  return sessions;
}

// The documented library folder replaced by the one beside this test program.
std::string WithLibraryFolder(std::string text) {
  const std::string folder =
      PtsimPath("ptsim0404")
          .substr(0, PtsimPath("ptsim0404").size() -
                         platform::SharedLibraryFileName("ptsim0404").size());
  for (size_t at; (at = text.find(kDocLibraryFolder)) != std::string::npos;) {
    text.replace(at, kDocLibraryFolder.size(), folder);
  }
  return text;
}

// Time stamps are the device's clock: the only values an example cannot fix.
std::string WithoutTimestamps(const std::string& answer) {
  static const std::regex kTimestamp("\"timestampUs\":[0-9]+");
  return std::regex_replace(answer, kTimestamp, "\"timestampUs\":_");
}

TEST(ProtocolDoc, ExampleSessionsAnswerAsDocumented) {
#ifdef _WIN32
  GTEST_SKIP() << "the examples name the Linux build's libraries";
#endif
  const std::vector<DocSession> sessions = ReadDocSessions(ReadFileText(kDocPath));
  ASSERT_FALSE(sessions.empty()) << kDocPath;
  for (const DocSession& doc : sessions) {
    // A home of its own: EnumerateDevices lists no registrations and caches nothing.
    test_support::TempFolder home("e2e-doc");
    platform::EnvironmentChanges env = doc.env;
    env.emplace_back("HOME", home.Prefix());
    env.emplace_back("XDG_CACHE_HOME", home.Prefix());
    PtsimSession session(env);
    session.bridge().Connect();
    for (const Exchange& exchange : doc.exchanges) {
      const std::string answer = session.bridge().Call(WithLibraryFolder(exchange.request));
      EXPECT_EQ(WithoutTimestamps(exchange.answer), WithoutTimestamps(answer))
          << "docs/protocol.md line " << doc.line << ": " << exchange.request;
    }
  }
}

TEST(ProtocolDoc, EveryMethodHasASectionAndAnExample) {
  const std::string text = ReadFileText(kDocPath);
  ASSERT_FALSE(text.empty()) << kDocPath;
  for (std::string_view name : protocol::kMethodNames) {
    const std::regex heading("\n### ([A-Za-z]+ \\([0-9]+\\), )*" + std::string(name) + " \\(");
    EXPECT_TRUE(std::regex_search(text, heading)) << name << " has no section";
    const std::regex example("\n-> \\{[^\n]*\"method\":\"" + std::string(name) + "\"");
    EXPECT_TRUE(std::regex_search(text, example)) << name << " has no example request";
  }
}

}  // namespace
}  // namespace tarnix::e2e
