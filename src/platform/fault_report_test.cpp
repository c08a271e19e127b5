// The fault report: its line, and a real fault ending a process with it.
#include "platform/fault_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace tarnix::platform {
namespace {

TEST(FaultReport, TheLineNamesTheFaultItsAddressItsModuleAndTheCallInFlight) {
  Fault fault;
  fault.what = "SIGSEGV (address 0x0)";
  fault.address = 0x7f0012345678;
  fault.module = "libvendor.so";
  fault.module_offset = 0x5678;
  fault.call = "PassThruReadMsgs";
  EXPECT_EQ(FaultLine(fault).view(),
            "[bridge] Fatal fault: SIGSEGV (address 0x0) at 0x7f0012345678 in libvendor.so+0x5678 "
            "during PassThruReadMsgs\n");
  fault.module = {};
  fault.call = nullptr;
  EXPECT_EQ(FaultLine(fault).view(),
            "[bridge] Fatal fault: SIGSEGV (address 0x0) at 0x7f0012345678 in an unknown module, "
            "no PassThru call in flight\n");
  // A text too long for the line is cut, and the line still ends.
  const std::string long_text(600, 'x');
  fault.what = long_text;
  const FaultText cut = FaultLine(fault);
  EXPECT_EQ(cut.view().size(), 512u);
  EXPECT_EQ(cut.view().back(), '\n');
}

volatile int g_dividend = 7;
volatile int g_quotient = 0;

#if defined(__GNUC__)
__attribute__((no_sanitize("undefined")))
#endif
void DivideByZero() {
  volatile int zero = 0;
  g_quotient = g_dividend / zero;
}

TEST(FaultReportDeathTest, AFaultEndsTheProcessWithTheLineAndItsOwnExitCode) {
  EXPECT_EXIT(
      {
        InstallFaultReport();
        const CallInFlight call("PassThruIoctl");
        DivideByZero();
      },
      ::testing::ExitedWithCode(kFaultExitCode),
      "Fatal fault: .*integer division by zero.* at 0x.* in .* during PassThruIoctl");
  // A library's own abort (its runtime's answer to an exception nothing caught) is explained too.
  EXPECT_EXIT(
      {
        InstallFaultReport();
        const CallInFlight call("library load");
        std::abort();
      },
      ::testing::ExitedWithCode(kFaultExitCode), "Fatal fault: .*abort.* during library load");
}

}  // namespace
}  // namespace tarnix::platform
