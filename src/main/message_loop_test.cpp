// The message loop with scripted input: framing, decode failures, the fault guard and the loop's
// ends.
#include "main/message_loop.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "log/captured_log.h"
#include "main/verbose.h"

namespace tarnix::main {
namespace {

// A byte source that hands out the given chunks one per read, then an end or an error.
ByteSource Chunks(std::vector<std::string> chunks, std::optional<std::string> final_error = {}) {
  auto state = std::make_shared<std::pair<std::vector<std::string>, size_t>>(std::move(chunks), 0);
  return [state, final_error](char* buffer, size_t size) -> Result<size_t> {
    auto& [pieces, next] = *state;
    if (next == pieces.size()) {
      if (final_error) return Fail(*final_error);
      return size_t{0};
    }
    std::string& piece = pieces[next];
    const size_t n = std::min(size, piece.size());
    std::copy_n(piece.data(), n, buffer);
    piece.erase(0, n);
    if (piece.empty()) ++next;
    return n;
  };
}

struct LoopRun {
  Result<void> result = Ok();
  std::string written;
  std::vector<std::string> log;
};

LoopRun RunLoop(ByteSource source, const RequestHandler& handler, int failing_write = -1,
                const LoopOptions& options = {}) {
  CapturedLog log;
  LoopRun run;
  int writes = 0;
  LineReader reader(std::move(source));
  run.result = RunMessageLoop(
      reader,
      [&](std::string_view bytes) -> Result<void> {
        if (writes++ == failing_write) return Fail("The pipe is being closed. (os error 232)");
        run.written.append(bytes);
        return Ok();
      },
      handler, options);
  run.log = log.Lines();
  return run;
}

protocol::Outcome AnswerNull(protocol::Request&&, worker::ReplyWatch*) {
  return protocol::Payload();
}

TEST(MessageLoop, FramesLinesAndSkipsBlankOnes) {
  const LoopRun run =
      RunLoop(Chunks({"{\"id\":1,\"method\":\"Close\"}\r\n\n\r\n", "{\"id\":2,\"met",
                      "hod\":\"Close\"}\n{\"id\":3,\"method\":\"Close\"}"}),
              AnswerNull);
  EXPECT_TRUE(run.result.ok());
  EXPECT_EQ(
      run.written,
      "{\"id\":1,\"status\":\"ok\",\"data\":null}\n{\"id\":2,\"status\":\"ok\",\"data\":null}\n"
      "{\"id\":3,\"status\":\"ok\",\"data\":null}\n");
}

TEST(MessageLoop, KeepsTheCarriageReturnOfALastLineWithoutLineFeed) {
  // "\r\n" is a blank line, but a lone "\r" at the end of input is a line of one white-space byte.
  const LoopRun run = RunLoop(Chunks({"\r\n\r"}), AnswerNull);
  EXPECT_EQ(run.written,
            "{\"id\":0,\"status\":\"error\",\"code\":-1,\"message\":\"Parse error: EOF while "
            "parsing a value at line 1 column 1\"}\n");
}

TEST(MessageLoop, AnswersUndecodableLinesWithIdZeroAndGoesOn) {
  const LoopRun run = RunLoop(Chunks({"{\"id\":7,\"method\":\"close\"}\n   \n{\"id\":8,\"method\":"
                                      "\"Close\"}\n"}),
                              AnswerNull);
  const std::vector<std::string> lines = [&] {
    std::vector<std::string> out;
    for (size_t start = 0; start < run.written.size();) {
      const size_t lf = run.written.find('\n', start);
      out.push_back(run.written.substr(start, lf - start));
      start = lf + 1;
    }
    return out;
  }();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(
      lines[0].rfind(
          R"({"id":0,"status":"error","code":-1,"message":"Parse error: unknown variant `close`)",
          0),
      0u);
  EXPECT_EQ(
      lines[1],
      R"({"id":0,"status":"error","code":-1,"message":"Parse error: EOF while parsing a value at line 1 column 3"})");
  EXPECT_EQ(lines[2], R"({"id":8,"status":"ok","data":null})");
  EXPECT_EQ(run.log.at(1), "[bridge] Parse error: EOF while parsing a value at line 1 column 3");
}

TEST(MessageLoop, FaultGuardAnswersMinus999AndTheLoopGoesOn) {
  int calls = 0;
  const RequestHandler handler = [&](protocol::Request&&,
                                     worker::ReplyWatch*) -> protocol::Outcome {
    ++calls;
    if (calls == 1) throw std::runtime_error("vendor returned garbage");
    if (calls == 2) throw 42;  // not an exception type: no description
    return protocol::Payload(true);
  };
  const LoopRun run = RunLoop(Chunks({"{\"id\":1,\"method\":\"GetLoopback\"}\n{\"id\":2,\"method\":"
                                      "\"GetLoopback\"}\n{\"id\":3,\"method\":\"GetLoopback\"}\n"}),
                              handler);
  EXPECT_EQ(run.written,
            "{\"id\":1,\"status\":\"error\",\"code\":-999,\"message\":\"J2534 DLL caused panic: "
            "vendor returned garbage\"}\n"
            "{\"id\":2,\"status\":\"error\",\"code\":-999,\"message\":\"J2534 DLL caused panic: "
            "Unknown panic\"}\n"
            "{\"id\":3,\"status\":\"ok\",\"data\":true}\n");
  EXPECT_EQ(run.log, (std::vector<std::string>{
                         "[bridge] PANIC while handling request: vendor returned garbage",
                         "[bridge] PANIC while handling request: Unknown panic"}));
}

TEST(MessageLoop, AnAllocationFailureAnywhereInALineAnswersItAndTheLoopGoesOn) {
  // Line 1 fails while it is read (its rest is skipped), line 2 while it is decoded, line 3 while
  // its answer is encoded; line 4 is served as usual.
  std::vector<std::string> pieces = {
      "{\"id\":1,\"method\":\"GetLoo", "",
      "pback\"}\n{\"id\":2,\"method\":\"GetLoopback\"}\n{\"id\":3,\"method\":\"GetLoopback\"}\n"
      "{\"id\":4,\"method\":\"GetLoopback\"}\n"};
  size_t next = 0;
  const ByteSource source = [&](char* buffer, size_t size) -> Result<size_t> {
    if (next == pieces.size()) return size_t{0};
    const std::string& piece = pieces[next++];
    if (piece.empty()) throw std::bad_alloc();
    return static_cast<size_t>(piece.copy(buffer, size));
  };
  int decodes = 0;
  int encodes = 0;
  LoopOptions options;
  options.entering = [&](LineStage stage) {
    // Encodings 1 and 2 are the answers to the failed lines 1 and 2.
    if (stage == LineStage::kDecode && ++decodes == 1) throw std::bad_alloc();
    if (stage == LineStage::kEncode && ++encodes == 3) throw std::bad_alloc();
  };
  const RequestHandler handler = [&](protocol::Request&&,
                                     worker::ReplyWatch*) -> protocol::Outcome {
    return protocol::Payload(true);
  };
  const LoopRun run = RunLoop(source, handler, -1, options);
  EXPECT_TRUE(run.result.ok());
  const std::string panic =
      R"("status":"error","code":-999,"message":"J2534 DLL caused panic: std::bad_alloc"})";
  EXPECT_EQ(run.written, "{\"id\":0," + panic + "\n{\"id\":0," + panic + "\n{\"id\":3," + panic +
                             "\n{\"id\":4,\"status\":\"ok\",\"data\":true}\n");
  EXPECT_EQ(run.log,
            std::vector<std::string>(3, "[bridge] PANIC while handling request: std::bad_alloc"));
}

/// A watch whose client goes when the test says so.
struct GoneOnCue final : worker::ReplyWatch {
  std::function<void()> Notifier() override {
    return [] {};
  }
  void Wait(std::chrono::milliseconds) override {}
  bool Abandon() override { return gone; }
  bool NextRequestBegun() override { return false; }
  bool gone = false;
};

TEST(MessageLoop, AClientGoneWhileARequestWaitsGetsNoAnswerAndTheLoopEnds) {
  GoneOnCue watch;
  LoopOptions options;
  options.watch = &watch;
  int calls = 0;
  const RequestHandler handler = [&](protocol::Request&&,
                                     worker::ReplyWatch* seen) -> protocol::Outcome {
    if (++calls == 2) {
      watch.gone = true;
      EXPECT_TRUE(seen->Abandon());
    }
    return protocol::Payload(true);
  };
  const LoopRun run = RunLoop(Chunks({"{\"id\":1,\"method\":\"GetLoopback\"}\n{\"id\":2,\"method\":"
                                      "\"GetLoopback\"}\n{\"id\":3,\"method\":\"GetLoopback\"}\n"}),
                              handler, -1, options);
  EXPECT_TRUE(run.result.ok());
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(run.written, "{\"id\":1,\"status\":\"ok\",\"data\":true}\n");
  EXPECT_TRUE(run.log.empty());
}

TEST(MessageLoop, ShutdownEndsTheLoopEvenWhenItFails) {
  int calls = 0;
  const RequestHandler handler = [&](protocol::Request&&,
                                     worker::ReplyWatch*) -> protocol::Outcome {
    ++calls;
    return protocol::RequestFailed("Bridge worker command channel is closed");
  };
  const LoopRun run = RunLoop(
      Chunks({"{\"id\":1,\"method\":\"Shutdown\"}\n{\"id\":2,\"method\":\"Close\"}\n"}), handler);
  EXPECT_TRUE(run.result.ok());
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(run.log.back(), "[bridge] Shutdown requested");
}

TEST(MessageLoop, ReadFailuresAndInvalidUtf8EndTheLoopWithoutAnswer) {
  LoopRun run = RunLoop(
      Chunks({"{\"id\":1,\"method\":\"Close\"}\n{\"id\":2,"}, "Access is denied. (os error 5)"),
      AnswerNull);
  EXPECT_TRUE(run.result.ok());
  EXPECT_EQ(run.written, "{\"id\":1,\"status\":\"ok\",\"data\":null}\n");
  EXPECT_EQ(run.log,
            std::vector<std::string>{"[bridge] Read error: Access is denied. (os error 5)"});

  run = RunLoop(Chunks({"{\"id\":1,\"method\":\"\xC3\x28\"}\n{\"id\":2,\"method\":\"Close\"}\n"}),
                AnswerNull);
  EXPECT_EQ(run.written, "");
  EXPECT_EQ(run.log,
            std::vector<std::string>{"[bridge] Read error: stream did not contain valid UTF-8"});
}

TEST(MessageLoop, AFailedWriteIsFatal) {
  const LoopRun run = RunLoop(Chunks({"{\"id\":1,\"method\":\"Close\"}\n{\"id\":2,\"method\":"
                                      "\"Close\"}\n{\"id\":3,\"method\":\"Close\"}\n"}),
                              AnswerNull, 1);
  ASSERT_FALSE(run.result.ok());
  EXPECT_EQ(run.result.error().text, "The pipe is being closed. (os error 232)");
  EXPECT_EQ(run.written, "{\"id\":1,\"status\":\"ok\",\"data\":null}\n");
}

TEST(LineReader, DeliversLinesLongerThanItsBuffer) {
  const std::string long_line(3 * LineReader::kBufferSize + 17, 'x');
  LineReader reader(Chunks({long_line + "\nshort", "\n"}));
  auto first = reader.Next();
  ASSERT_TRUE(first.ok() && first->has_value());
  EXPECT_EQ((*first)->text, long_line);
  auto second = reader.Next();
  ASSERT_TRUE(second.ok() && second->has_value());
  EXPECT_EQ((*second)->text, "short");
  auto end = reader.Next();
  ASSERT_TRUE(end.ok());
  EXPECT_FALSE(end->has_value());
}

TEST(Verbose, AcceptsOneAndTrueInAnyCaseOnly) {
  for (const char* on : {"1", "true", "TRUE", "True", "tRuE"}) {
    EXPECT_TRUE(VerboseValueEnables(std::string(on))) << on;
  }
  for (const char* off : {"", "0", "yes", "on", "2", " 1", "true ", "truee", "tru"}) {
    EXPECT_FALSE(VerboseValueEnables(std::string(off))) << off;
  }
  EXPECT_FALSE(VerboseValueEnables(std::nullopt));
}

}  // namespace
}  // namespace tarnix::main
