// The connection's life end to end: Open and its refusals, Close, Shutdown, the client leaving,
// enumeration while connected, and the order in which the device and library are released.
#include <gtest/gtest.h>

#include <filesystem>

#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

const std::vector<std::string> kRelease = {"PassThruDisconnect", "PassThruClose", "unload"};

TEST(WorkerLifecycle, ConnectionStatesFromNotConnectedToClosedAndOpenAgain) {
  PtsimSession session;
  EXPECT_EQ(session.Call("ReadVersion").Error(), "Not connected");
  EXPECT_TRUE(session.Log().empty()) << "a library was loaded";
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.OpenPath(PtsimPath(), passthru::kIso14230).Error(), "Already connected");
  // The first connection was not touched and keeps working.
  const LoggedCalls first = session.Log();
  EXPECT_EQ(CallsOf(first, "PassThruOpen").size(), 1u);
  EXPECT_EQ(CallsOf(first, "PassThruConnect").size(), 1u);
  EXPECT_TRUE(session.Call("ReadVersion").ok());
  // Close answers once the device is closed and the library unloaded.
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(LastFns(session.Log(), 3), kRelease);
  EXPECT_EQ(session.Call("ReadVersion").Error(), "Not connected");
  EXPECT_EQ(session.Call("Close").Data(), "null");
  // A new Open starts a new worker, which loads the library afresh.
  session.Open(passthru::kIso14230);
  const LoggedCalls second = session.Log();
  EXPECT_EQ(CallsOf(second, "load").size(), 2u);
  EXPECT_TRUE(Matches(*CallsOf(second, "PassThruConnect").back(), R"({"protocolId":4})"));
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(session.Finish(), 0);
}

TEST(WorkerLifecycle, AFailedOpenLeavesNothingOpenAndTheNextOpenSucceeds) {
  PtsimSession session;
  const test_support::TempFolder empty("e2e-missing");
  const std::string missing = empty.File(platform::SharedLibraryFileName("absent"));
  const std::string load_error = session.OpenPath(missing, passthru::kIso15765).Error();
  EXPECT_TRUE(load_error.starts_with("ERR_J2534_DLL_LOAD: " + std::string(platform::kLoadFailed)))
      << load_error;
  // ptsim refuses the protocol; the device is closed again and the library unloaded.
  EXPECT_EQ(session.OpenPath(PtsimPath(), 99).Error(),
            "ERR_J2534_CONNECT_FAILED: error code 3 (ERR_INVALID_PROTOCOL_ID) - "
            "PassThruConnect: protocol 99 is not supported");
  EXPECT_EQ(Fns(session.Log()),
            (std::vector<std::string>{"load", "PassThruOpen", "PassThruConnect",
                                      "PassThruGetLastError", "PassThruClose", "unload"}));
  EXPECT_EQ(session.Call("ReadVersion").Error(), "Not connected");
  session.Open(passthru::kIso15765);
  EXPECT_TRUE(session.Call("ReadVersion").ok());
  EXPECT_EQ(session.Finish(), 0);
}

TEST(WorkerLifecycle, ConnectionSequenceFailuresReachTheClient) {
  struct Case {
    const char* rule;
    const char* error;
    std::vector<std::string> calls;
  };
  const std::vector<Case> cases = {
      {"Open=ERR_DEVICE_NOT_CONNECTED",
       "ERR_J2534_OPEN_FAILED: error code 8 (ERR_DEVICE_NOT_CONNECTED) - "
       "PassThruOpen: failure injected by PTSIM_FAIL (ERR_DEVICE_NOT_CONNECTED 8)",
       {"load", "PassThruOpen", "PassThruGetLastError", "unload"}},
      {"StartMsgFilter=ERR_FAILED",
       "ERR_J2534_FILTER_FAILED: error code 7 (ERR_FAILED) - "
       "PassThruStartMsgFilter: failure injected by PTSIM_FAIL (ERR_FAILED 7)",
       {"load", "PassThruOpen", "PassThruConnect", "PassThruStartMsgFilter", "PassThruGetLastError",
        "PassThruDisconnect", "PassThruClose", "unload"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    PtsimSession session({{"PTSIM_FAIL", c.rule}});
    EXPECT_EQ(session.OpenPath(PtsimPath(), passthru::kIso15765).Error(), c.error);
    EXPECT_EQ(Fns(session.Log()), c.calls);
    EXPECT_EQ(session.Call("GetDataRate").Error(), "Not connected");
    EXPECT_EQ(session.Finish(), 0);
  }
}

TEST(WorkerLifecycle, EnumerateDevicesWhileConnectedLeavesTheConnectionAlone) {
  const test_support::TempFolder appdata("e2e-appdata");
  // The registrations and the version cache of the tester's own account stay out of it.
  PtsimSession session({{"LOCALAPPDATA", appdata.Prefix()},
                        {"HOME", appdata.Prefix()},
                        {"XDG_CACHE_HOME", std::nullopt}});
  const Reply before = session.Call("EnumerateDevices");
  ASSERT_TRUE(before.ok()) << before.line();
  session.Open(passthru::kIso15765);
  const size_t opened = session.LogSize();
  EXPECT_EQ(session.Call("EnumerateDevices").Data(), before.Data());
  for (const std::string& fn : Fns(session.LogFrom(opened)))
    EXPECT_EQ(fn.rfind("PassThru", 0), std::string::npos) << fn << " was called";
  EXPECT_EQ(session.Call("GetDataRate").Data(), "500000");
  EXPECT_EQ(session.Call("Close").Data(), "null");
  EXPECT_EQ(session.Call("EnumerateDevices").Data(), before.Data());
  EXPECT_EQ(session.Finish(), 0);
}

TEST(WorkerLifecycle, CloseReleasesEverythingWhateverTheLibraryAnswers) {
  PtsimSession session({{"PTSIM_FAIL", "Disconnect=ERR_FAILED;Close=ERR_DEVICE_NOT_CONNECTED"}});
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Call("Close").Data(), "null");
  const LoggedCalls calls = session.Log();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_TRUE(Matches(calls[calls.size() - 3], R"({"fn":"PassThruDisconnect","injected":true})"));
  EXPECT_TRUE(Matches(calls[calls.size() - 2], R"({"fn":"PassThruClose","injected":true})"));
  EXPECT_TRUE(Matches(calls[calls.size() - 1], R"({"fn":"unload"})"));
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Finish(), 0);
}

TEST(WorkerLifecycle, TheClientLeavingWhileConnectedReleasesTheDevice) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Finish(), 0);
  const LoggedCalls calls = session.Log();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(LastFns(calls, 3), kRelease);
  EXPECT_TRUE(Matches(calls[calls.size() - 3], R"({"channelId":2,"ret":0})"));
  EXPECT_TRUE(Matches(calls[calls.size() - 2], R"({"deviceId":1,"ret":0})"));
  EXPECT_NE(session.bridge().ErrorOutput().find("[bridge] Message loop ended\n"),
            std::string::npos);
}

TEST(WorkerLifecycle, ShutdownWhileConnectedAnswersAfterTheReleaseAndEnds) {
  PtsimSession session;
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Call("Shutdown").Data(), "null");
  EXPECT_EQ(LastFns(session.Log(), 3), kRelease);
  EXPECT_EQ(session.bridge().ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(session.bridge().WaitExit(), 0);
}

TEST(WorkerLifecycle, ALibraryOfTheOtherWidthCannotBeLoaded) {
#ifndef _WIN32
  GTEST_SKIP() << "only the Windows builds come in two widths";
#else
  const std::string other = kBitness == 64 ? "win32" : "win64";
  const std::filesystem::path library = std::filesystem::path(platform::ExecutableDirectory()) /
                                        ".." / ".." / other / "bin" /
                                        platform::SharedLibraryFileName("ptsim0404");
  if (!std::filesystem::exists(library)) {
    GTEST_SKIP() << "the " << other << " build is absent: " << library.string();
  }
  PtsimSession session;
  EXPECT_EQ(session.OpenPath(library.string(), passthru::kIso15765).Error(),
            kBitness == 64
                ? "ERR_J2534_DLL_LOAD: a 32-bit library cannot be loaded by the 64-bit bridge"
                : "ERR_J2534_DLL_LOAD: a 64-bit library cannot be loaded by the 32-bit bridge");
  EXPECT_TRUE(session.Log().empty()) << "the library of the other width ran";
  session.Open(passthru::kIso15765);
  EXPECT_EQ(session.Finish(), 0);
#endif
}

TEST(WorkerLifecycle, ALibrarysHelperDllIsFoundBesideItAndAMissingOneSaysWhy) {
  // The library imports a helper DLL that only its own folder holds.
  const std::string library = platform::SharedLibraryFileName("ptsim0404_helper");
  PtsimSession session;
  EXPECT_EQ(session.OpenPath(BinaryPath("vendor_folder/" + library), passthru::kIso15765).Data(),
            "null");
  EXPECT_EQ(session.Call("Close").Data(), "null");
  // The same library alone in another folder.
  const test_support::TempFolder alone("e2e-alone");
  std::filesystem::copy_file(
      std::filesystem::path(platform::ExecutableDirectory()) / "vendor_folder" / library,
      alone.path() / library);
  const std::string error = session.OpenPath(alone.File(library), passthru::kIso15765).Error();
  const std::string head = "ERR_J2534_DLL_LOAD: " + std::string(platform::kLoadFailed) + ": ";
  EXPECT_TRUE(error.starts_with(head)) << error;
#ifdef _WIN32
  EXPECT_TRUE(error.ends_with(" (os error 126)")) << error;
#else
  EXPECT_NE(error.find(platform::SharedLibraryFileName("ptsim_helper")), std::string::npos)
      << error;
#endif
  EXPECT_EQ(session.Finish(), 0);
}

}  // namespace
}  // namespace tarnix::e2e
