// The end-to-end harness: processes, pipes and files through the platform layer, checks through
// gtest.
#include "bridge_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tarnix::e2e {
namespace {

std::string NextTag() {
  static std::atomic<int> counter{0};
  return std::to_string(counter.fetch_add(1));
}

}  // namespace

std::string BinaryPath(const std::string& file_name) {
  return platform::ExecutableDirectory() + file_name;
}

std::string ScratchFolder(std::string_view tag) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("tarnix-e2e-" + std::to_string(platform::CurrentProcessId()) + "-" +
                     std::string(tag) + "-" + NextTag());
  std::filesystem::remove_all(path);
  std::filesystem::create_directories(path);
  return (path / "").string();
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
  const std::string tag = NextTag();
  pipe_name_ = args && !args->empty() ? args->front() : platform::UniquePipeName("e2e-" + tag);
  stderr_path_ = ScratchFolder("stderr") + "tarnix.err";
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
  if (process_ && !process_->Wait(10000)) {
    ADD_FAILURE() << "tarnix did not end; standard error:\n" << ErrorOutput();
    process_->Kill();
  }
}

void Bridge::Connect() {
  auto connected = platform::PipeClient::Connect(pipe_name_, 20000);
  ASSERT_TRUE(connected.ok()) << "cannot connect to " << pipe_name_ << ": "
                              << connected.error().text << "\nstandard error:\n"
                              << ErrorOutput();
  client_.emplace(std::move(*connected));
}

void Bridge::Send(std::string_view bytes) {
  if (!client_) Connect();
  ASSERT_TRUE(client_);
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
  const std::optional<int> code = process_->Wait(timeout_ms);
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
    if (waited >= timeout_ms) return false;
    platform::SleepMilliseconds(10);
  }
}

}  // namespace tarnix::e2e
