// A fault inside the vendor library end to end: the client's pipe closes without an answer, the
// bridge's last standard-error line explains the fault, the trace ends with the call in flight,
// and the process ends with the fault's own exit code.
#include <gtest/gtest.h>

#include <regex>

#include "passthru/numbers.h"
#include "platform/dynamic_library.h"
#include "ptsim_session.h"

namespace tarnix::e2e {
namespace {

TEST(Fault, AFaultInTheLibraryIsExplainedAndEndsTheBridgeWithItsOwnExitCode) {
  const test_support::TempFolder folder("e2e-fault");
  const std::string trace = folder.File("trace.log");
  PtsimSession session({{"PTSIM_MISBEHAVE", "write_fault"}, {"TARNIX_TRACE", trace}});
  session.Open(passthru::kIso15765);
  session.bridge().Send(
      R"({"id":9,"method":"SendMessage","params":{"arb_id":2015,"data":[1,12],"extended":false}})"
      "\n");
  EXPECT_EQ(session.bridge().ReadLineOrEnd(), std::nullopt);
  EXPECT_EQ(session.bridge().WaitExit(), 4);

  const std::vector<std::string> errors = SplitLines(session.bridge().ErrorOutput());
  ASSERT_FALSE(errors.empty());
  const std::regex fault_line(
      "\\[bridge\\] Fatal fault: (SIGSEGV \\(address 0x0\\)|access violation writing 0x0 "
      "\\(exception 0xc0000005\\)) at 0x[0-9a-f]+ in " +
      platform::SharedLibraryFileName("ptsim0404") + "\\+0x[0-9a-f]+ during PassThruWriteMsgs");
  EXPECT_TRUE(std::regex_match(errors.back(), fault_line)) << errors.back();
  const std::vector<std::string> lines = SplitLines(ReadFileText(trace));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), R"({"fn":"trace","crashed":"PassThruWriteMsgs"})");
}

}  // namespace
}  // namespace tarnix::e2e
