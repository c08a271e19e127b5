// A small client for talking to tarnix by hand: starts the bridge, sends request lines, prints
// answers.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/pipe_client.h"
#include "platform/process.h"

namespace {

using namespace tarnix;

constexpr char kUsage[] =
    "Usage: tarnix_client [--bridge PATH] [--pipe NAME] [--env NAME=VALUE]... [REQUESTS_FILE]\n"
    "Starts the bridge (default: tarnix beside this program) on a fresh private pipe, checks that\n"
    "the bridge is the pipe's server, sends every line of REQUESTS_FILE (default: standard input)\n"
    "as one request, and prints each request and its answer.\n"
    "Lines starting with '#' are printed as notes and not sent; empty lines are skipped.\n";

struct Options {
  std::string bridge = platform::ExecutableDirectory() + platform::ExecutableFileName("tarnix");
  std::string pipe;  // empty: a private one
  platform::EnvironmentChanges env;
  std::string requests_file;
};

bool ParseOptions(const std::vector<std::string>& args, Options& options) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool has_value = i + 1 < args.size();
    if (arg == "--bridge" && has_value) {
      options.bridge = args[++i];
    } else if (arg == "--pipe" && has_value) {
      options.pipe = args[++i];
    } else if (arg == "--env" && has_value) {
      const std::string& pair = args[++i];
      const size_t eq = pair.find('=');
      if (eq == std::string::npos) return false;
      options.env.emplace_back(pair.substr(0, eq), pair.substr(eq + 1));
    } else if (arg.rfind("--", 0) == 0 || !options.requests_file.empty()) {
      return false;
    } else {
      options.requests_file = arg;
    }
  }
  return true;
}

// Sends each request line and prints it with its answer; false when the bridge went away.
bool Converse(platform::PipeClient& client, std::istream& input) {
  std::string line;
  while (std::getline(input, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '#') {
      std::cout << line << std::endl;
      continue;
    }
    std::cout << "-> " << line << std::endl;
    if (!client.Write(line + "\n").ok()) return false;
    auto answer = client.ReadLine();
    if (!answer.ok() || !answer->has_value()) return false;
    std::cout << "<- " << **answer << std::endl;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(platform::CommandLineArguments(argc, argv), options)) {
    std::cerr << kUsage;
    return 2;
  }
  std::ifstream file;
  if (!options.requests_file.empty()) {
    file.open(options.requests_file);
    if (!file) {
      std::cerr << "cannot read " << options.requests_file << "\n";
      return 2;
    }
  }
  // A name nobody else can guess or take first, unless one is given; it lives until the end.
  std::optional<platform::PrivatePipeName> private_name;
  if (options.pipe.empty()) {
    auto made = platform::PrivatePipeName::Make("client");
    if (!made.ok()) {
      std::cerr << "cannot make a pipe name: " << made.error().text << "\n";
      return 1;
    }
    private_name.emplace(std::move(made).value());
    options.pipe = private_name->name();
  }
  // The bridge's diagnostics go to this program's standard error, beside the conversation.
  auto bridge = platform::ChildProcess::Spawn(options.bridge, {options.pipe}, options.env, "");
  if (!bridge.ok()) {
    std::cerr << "cannot start " << options.bridge << ": " << bridge.error().text << "\n";
    return 1;
  }
  auto client = platform::PipeClient::Connect(options.pipe, 20000);
  if (!client.ok()) {
    std::cerr << "cannot connect to " << options.pipe << ": " << client.error().text << "\n";
    return 1;
  }
  // Whoever else serves the pipe must not receive the requests.
  const auto server = client->ServerProcessId();
  if (!server.ok() || *server != bridge->id()) {
    std::cerr << "the pipe " << options.pipe << " is not served by the bridge started (process "
              << bridge->id() << ")\n";
    return 1;
  }
  const bool complete = Converse(*client, options.requests_file.empty() ? std::cin : file);
  client->Close();
  const std::optional<int> code = bridge->Wait(20000);
  if (!complete) std::cerr << "the bridge closed the pipe\n";
  std::cout << "(bridge exited with code " << (code ? std::to_string(*code) : "?") << ")"
            << std::endl;
  return complete && code == 0 ? 0 : 1;
}
