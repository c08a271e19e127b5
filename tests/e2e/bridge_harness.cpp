// The end-to-end harness: processes, pipes and files through the platform layer, checks through
// gtest.
#include "bridge_harness.h"

#include <gtest/gtest.h>

#include <charconv>
#include <fstream>
#include <sstream>

#include "platform/environment.h"

namespace tarnix::e2e {
namespace {

uint32_t EnvironmentNumber(const char* name, uint32_t fallback) {
  const std::optional<std::string> text = platform::GetEnvironment(name);
  uint32_t value = 0;
  if (!text || std::from_chars(text->data(), text->data() + text->size(), value).ec != std::errc{})
    return fallback;
  return value;
}

// Where processes run under a slow emulator (see tarnix_gtest in cmake/Tarnix.cmake), a start takes
// about a minute and requests in quick succession can hang it: the test runner then asks for
// longer waits (TARNIX_E2E_TIME_SCALE) and paced requests (TARNIX_E2E_PACE_MS).
uint32_t Scaled(uint32_t timeout_ms) {
  static const uint32_t scale = EnvironmentNumber("TARNIX_E2E_TIME_SCALE", 1);
  return timeout_ms * scale;
}

void Pace() {
  static const uint32_t pause_ms = EnvironmentNumber("TARNIX_E2E_PACE_MS", 0);
  if (pause_ms > 0) platform::SleepMilliseconds(pause_ms);
}

}  // namespace

std::string BinaryPath(const std::string& file_name) {
  return platform::ExecutableDirectory() + file_name;
}

std::string PipeNameIn(const test_support::TempFolder& folder) {
#ifdef _WIN32
  (void)folder;
  return platform::PrivatePipeName::Make("e2e")->name();
#else
  return folder.File("tarnix.sock");
#endif
}

std::string ReadFileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t lf = text.find('\n', start);
    if (lf == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, lf - start));
    start = lf + 1;
  }
  return lines;
}

Bridge::Bridge(platform::EnvironmentChanges env, std::optional<std::vector<std::string>> args,
               const std::string& program) {
  pipe_name_ = args && !args->empty() ? args->front() : PipeNameIn(folder_);
  stderr_path_ = folder_.File("tarnix.err");
  const std::vector<std::string> argv = args ? *args : std::vector<std::string>{pipe_name_};
  auto spawned = platform::ChildProcess::Spawn(
      program.empty() ? BinaryPath(platform::ExecutableFileName("tarnix")) : program, argv, env,
      stderr_path_);
  if (!spawned) {
    ADD_FAILURE() << "cannot start tarnix: " << spawned.error().text;
    return;
  }
  process_.emplace(std::move(*spawned));
}

Bridge::~Bridge() {
  client_.reset();
  if (process_ && !process_->Wait(Scaled(10000))) {
    ADD_FAILURE() << "tarnix did not end; standard error:\n" << ErrorOutput();
    process_->Kill();
  }
}

void Bridge::Connect() {
  auto connected = platform::PipeClient::Connect(pipe_name_, Scaled(20000));
  ASSERT_TRUE(connected.ok()) << "cannot connect to " << pipe_name_ << ": "
                              << connected.error().text << "\nstandard error:\n"
                              << ErrorOutput();
  // The pipe's server is the bridge this test started, and nobody else.
  const Result<uint32_t> server = connected->ServerProcessId();
  ASSERT_TRUE(server.ok()) << server.error().text;
  if (process_) {
    ASSERT_EQ(*server, process_->id());
  }
  client_.emplace(std::move(*connected));
}

void Bridge::Send(std::string_view bytes) {
  if (!client_) Connect();
  ASSERT_TRUE(client_);
  Pace();
  const Result<void> sent = client_->Write(bytes);
  ASSERT_TRUE(sent.ok()) << sent.error().text;
}

std::optional<std::string> Bridge::ReadLineOrEnd() {
  if (!client_) return std::nullopt;
  auto line = client_->ReadLine();
  if (!line) {
    ADD_FAILURE() << "read failed: " << line.error().text;
    return std::nullopt;
  }
  return *line;
}

std::string Bridge::ReadLine() {
  std::optional<std::string> line = ReadLineOrEnd();
  if (!line) {
    ADD_FAILURE() << "the bridge closed the pipe; standard error:\n" << ErrorOutput();
    return {};
  }
  return *line;
}

std::string Bridge::Call(std::string_view request) {
  Send(std::string(request) + "\n");
  return ReadLine();
}

void Bridge::Disconnect() {
  client_.reset();
}

bool Bridge::FinishSending() {
  return client_ && client_->CloseWrite();
}

int Bridge::WaitExit(uint32_t timeout_ms) {
  if (!process_) return -1;
  const std::optional<int> code = process_->Wait(Scaled(timeout_ms));
  if (!code) {
    ADD_FAILURE() << "tarnix still runs after " << timeout_ms << " ms; standard error:\n"
                  << ErrorOutput();
    process_->Kill();
    return -1;
  }
  return *code;
}

std::string Bridge::ErrorOutput() const {
  return ReadFileText(stderr_path_);
}

bool Bridge::WaitForErrorOutput(std::string_view text, uint32_t timeout_ms) const {
  for (uint32_t waited = 0;; waited += 10) {
    if (ErrorOutput().find(text) != std::string::npos) return true;
    if (waited >= Scaled(timeout_ms)) return false;
    platform::SleepMilliseconds(10);
  }
}

std::vector<std::string> LinesOfASessionTheClientEnded(const std::string& pipe_name) {
  return {"[bridge] Starting tarnix on pipe: " + pipe_name,
          "[bridge] Process bitness: " + std::to_string(kBitness) + "-bit",
          "[bridge] Waiting for client connection...", "[bridge] Client connected",
          "[bridge] Message loop ended"};
}

}  // namespace tarnix::e2e
