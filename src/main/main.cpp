// Process entry: check the command line, print the start-up lines, serve the pipe, map the exit
// code.
#include <string>
#include <utility>
#include <vector>

#include "discovery/devices.h"
#include "log/log.h"
#include "main/pipe_host.h"
#include "main/release_bound.h"
#include "main/request_router.h"
#include "platform/command_line.h"
#include "platform/environment.h"
#include "platform/fault_report.h"
#include "platform/standard_error.h"
#include "platform/stop_request.h"
#include "worker/j2534_session.h"

namespace tarnix::main {
namespace {

int Run(int argc, char** argv) {
  // A fault in the vendor library (or anywhere) is explained before the process ends.
  platform::InstallFaultReport();
  const std::vector<std::string> args = platform::CommandLineArguments(argc, argv);
  if (args.size() < 2) {
    platform::WriteStandardError(
        "Usage: tarnix.exe <pipe_name>\nExample: tarnix.exe \\\\.\\pipe\\velsa-j2534-1234\n");
    return 1;
  }
  const std::string& pipe_name = args[1];
  LogLine("[bridge] Starting tarnix on pipe: " + pipe_name);
  LogLine("[bridge] Process bitness: " + std::to_string(sizeof(void*) * 8) + "-bit");
  RouterDeps deps;
  deps.enumerate_devices = &discovery::EnumerateInstalledDevices;
  deps.session_factory = &worker::MakeJ2534SessionFactory;
  deps.scan_factory = &worker::MakeScanSessionFactory;
  deps.release_grace = ReleaseGrace(&platform::GetEnvironment);
  deps.stuck_release = &EndStuckRelease;
  const RequestHandling handling = MakeRequestHandling(std::move(deps));
  Result<Ending> served = RunPipeServer(pipe_name, handling);
  if (!served) {
    LogLine("[bridge] Fatal error: " + served.error().text);
    return 1;
  }
  return *served == Ending::kStopRequested ? platform::kStopRequestedExitCode : 0;
}

}  // namespace
}  // namespace tarnix::main

int main(int argc, char** argv) {
  return tarnix::main::Run(argc, argv);
}
