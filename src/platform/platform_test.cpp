// The platform services that the rest of the program leans on, checked on the real system.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/pipe_client.h"
#include "platform/pipe_server.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "platform/thread.h"

namespace tarnix::platform {
namespace {

TEST(Environment, SetsReadsAndRemovesVariablesWithUnicodeValues) {
  const std::string name = "TARNIX_PLATFORM_TEST_VARIABLE";
  SetEnvironment(name,
                 "Gr\xC3\xBC\xC3\x9F"
                 "e 1");
  EXPECT_EQ(GetEnvironment(name), std::optional<std::string>("Gr\xC3\xBC\xC3\x9F"
                                                             "e 1"));
  SetEnvironment(name, std::nullopt);
  EXPECT_EQ(GetEnvironment(name), std::nullopt);
}

TEST(SystemError, TextCarriesTheMessageAndTheCode) {
  const std::string text = SystemErrorText(2);
  EXPECT_NE(text.find(" (os error 2)"), std::string::npos) << text;
  EXPECT_GT(text.size(), std::string(" (os error 2)").size()) << "the system's message is missing";
  EXPECT_EQ(text.find('\n'), std::string::npos) << "messages are parts of one line";
}

TEST(DynamicLibrary, MissingLibraryGivesTheLoadersDetailTextAndItsReason) {
  const std::string missing =
      (std::filesystem::temp_directory_path() / SharedLibraryFileName("tarnix-no-such-library"))
          .string();
  Result<DynamicLibrary> loaded = DynamicLibrary::Load(missing);
  ASSERT_FALSE(loaded.ok());
  const std::string& text = loaded.error().text;
  EXPECT_TRUE(text.starts_with(std::string(kLoadFailed) + ": ")) << text;
#ifdef _WIN32
  // ERROR_MOD_NOT_FOUND, with the system's message before it.
  EXPECT_TRUE(text.ends_with(" (os error 126)")) << text;
  EXPECT_GT(text.size(), kLoadFailed.size() + std::string(":  (os error 126)").size()) << text;
#endif
}

TEST(Thread, RunsNamedAndJoins) {
  std::atomic<bool> ran{false};
  std::string name_inside;
  Result<Thread> thread = Thread::Start("tarnix-io", 2 * 1024 * 1024, [&] {
    name_inside = CurrentThreadName();
    ran = true;
  });
  ASSERT_TRUE(thread.ok()) << thread.error().text;
  thread->Join();
  EXPECT_TRUE(ran);
  // Older Windows versions cannot name threads; where a name can be read it must be ours.
  if (!name_inside.empty()) {
    EXPECT_EQ(name_inside, "tarnix-io");
  }
}

TEST(Thread, AnEscapingExceptionEndsOnlyThatThread) {
  Result<Thread> thread = Thread::Start("thrower", 64 * 1024, [] { throw 7; });
  ASSERT_TRUE(thread.ok());
  thread->Join();
}

TEST(PipeServer, SeesTheClientGoneOnlyOnceItsEndIsClosed) {
  const Result<PrivatePipeName> private_name = PrivatePipeName::Make("peer");
  ASSERT_TRUE(private_name.ok()) << private_name.error().text;
  const std::string& name = private_name->name();
  Result<PipeServer> server = PipeServer::Create(name);
  ASSERT_TRUE(server.ok()) << server.error().text;
  std::optional<Result<PipeClient>> client;
  std::thread connecting([&] { client.emplace(PipeClient::Connect(name, 20000)); });
  const Result<void> connected = server->WaitForClient();
  connecting.join();
  ASSERT_TRUE(connected.ok() && client->ok());
  EXPECT_EQ((*client)->ServerProcessId().value(), CurrentProcessId());
  Result<PipeReader> reader = server->OpenReader();
  ASSERT_TRUE(reader.ok());
  EXPECT_FALSE(reader->PeerGone());

  // Watching leaves a pipelined request where it is, also after the client stopped sending.
  ASSERT_TRUE((*client)->Write("next\n").ok());
  EXPECT_FALSE(reader->PeerGone());
  if ((*client)->CloseWrite()) {
    EXPECT_FALSE(reader->PeerGone()) << "a half-closed client still reads answers";
  }
  char buffer[16] = {};
  Result<size_t> got = reader->Read(buffer, sizeof buffer);
  ASSERT_TRUE(got.ok());
  EXPECT_EQ(std::string(buffer, *got), "next\n");

  (*client)->Close();
  EXPECT_TRUE(reader->PeerGone());
}

TEST(PipeClient, ATimedReadGivesUpAndKeepsWhatCameOfTheLine) {
  const Result<PrivatePipeName> private_name = PrivatePipeName::Make("timed");
  ASSERT_TRUE(private_name.ok()) << private_name.error().text;
  Result<PipeServer> server = PipeServer::Create(private_name->name());
  ASSERT_TRUE(server.ok()) << server.error().text;
  std::optional<Result<PipeClient>> client;
  std::thread connecting([&] { client.emplace(PipeClient::Connect(private_name->name(), 20000)); });
  const Result<void> connected = server->WaitForClient();
  connecting.join();
  ASSERT_TRUE(connected.ok() && client->ok());
  std::string line;
  EXPECT_EQ((*client)->ReadLineWithin(20, line).value(), PipeClient::LineWait::kTimedOut);
  ASSERT_TRUE(server->WriteAll("par").ok());
  EXPECT_EQ((*client)->ReadLineWithin(20, line).value(), PipeClient::LineWait::kTimedOut);
  ASSERT_TRUE(server->WriteAll("t\nnext").ok());
  EXPECT_EQ((*client)->ReadLineWithin(20000, line).value(), PipeClient::LineWait::kLine);
  EXPECT_EQ(line, "part");
}

TEST(Process, ReportsTheChildsExitCode) {
  // The test program itself, asked to list no tests, ends with code 0.
  std::string self = ExecutableDirectory() + ExecutableFileName("platform_test");
  auto child = ChildProcess::Spawn(self, {"--gtest_filter=None"}, {}, "");
  ASSERT_TRUE(child.ok()) << child.error().text;
  EXPECT_EQ(child->Wait(60000), std::optional<int>(0));
}

}  // namespace
}  // namespace tarnix::platform
