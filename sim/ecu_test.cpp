// Tests of the simulated ECU: its OBD-II answers and how it frames them on CAN and ISO15765.
#include <gtest/gtest.h>

#include "passthru/numbers.h"
#include "sim/ecu.h"

namespace tarnix::sim {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(ObdAnswerTest, AnswersTheSupportedRequests) {
  const std::pair<Bytes, Bytes> cases[] = {
      {{0x01, 0x00}, {0x41, 0x00, 0x08, 0x18, 0x00, 0x00}},  // PIDs 05, 0C, 0D
      {{0x01, 0x05}, {0x41, 0x05, 0x82}},
      {{0x01, 0x0C}, {0x41, 0x0C, 0x1A, 0xF8}},
      {{0x01, 0x0D}, {0x41, 0x0D, 0x32}},
      {{0x3E, 0x00}, {0x7E, 0x00}},
      {{0x3E}, {0x7E}},
      {{0x3E, 0x80}, {}},  // positive response suppressed
      {{0x01, 0x0F}, {0x7F, 0x01, 0x11}},
      {{0x22, 0xF1, 0x90}, {0x7F, 0x22, 0x11}},
      {{0x09, 0x04}, {0x7F, 0x09, 0x11}},
      {{}, {}},
  };
  for (const auto& [request, answer] : cases) {
    EXPECT_EQ(ObdAnswer(request), answer);
  }
  const Bytes vin = ObdAnswer(Bytes{0x09, 0x02});
  ASSERT_EQ(vin.size(), 3 + kVin.size());
  EXPECT_EQ(Bytes(vin.begin(), vin.begin() + 3), (Bytes{0x49, 0x02, 0x01}));
  EXPECT_EQ(std::string(vin.begin() + 3, vin.end()), kVin);
}

TEST(EcuTest, SpeaksSingleFramesWithPciOnCan) {
  Ecu ecu;
  const auto replies =
      ecu.Hear(passthru::kCan, CanFrame{0x7DF, false, {0x02, 0x01, 0x0C, 0, 0, 0, 0, 0}});
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].id, 0x7E8u);
  EXPECT_EQ(replies[0].bytes, (Bytes{0x04, 0x41, 0x0C, 0x1A, 0xF8, 0xAA, 0xAA, 0xAA}));
}

TEST(EcuTest, HoldsConsecutiveFramesUntilFlowControl) {
  Ecu ecu;
  auto replies = ecu.Hear(passthru::kCan, CanFrame{0x7E0, false, {0x02, 0x09, 0x02}});
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].bytes, (Bytes{0x10, 0x14, 0x49, 0x02, 0x01, 'P', 'T', 'S'}));
  replies = ecu.Hear(passthru::kCan, CanFrame{0x7E0, false, {0x30, 0x00, 0x00}});
  ASSERT_EQ(replies.size(), 2u);
  EXPECT_EQ(replies[0].bytes, (Bytes{0x21, 'I', 'M', '2', '5', '3', '4', 'V'}));
  EXPECT_EQ(replies[1].bytes, (Bytes{0x22, 'I', 'R', 'T', 'U', 'A', 'L', '1'}));
  EXPECT_TRUE(ecu.Hear(passthru::kCan, CanFrame{0x7E0, false, {0x30, 0x00, 0x00}}).empty());
}

TEST(EcuTest, SendsWholePayloadsOnIso15765AndAnswers29BitRequests) {
  Ecu ecu;
  auto replies = ecu.Hear(passthru::kIso15765, CanFrame{0x18DB33F1, true, {0x09, 0x02}});
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].id, 0x18DAF110u);
  EXPECT_TRUE(replies[0].extended);
  EXPECT_EQ(replies[0].bytes.size(), 20u);
  replies = ecu.Hear(passthru::kIso15765, CanFrame{0x18DA10F1, true, {0x01, 0x0D}});
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].bytes, (Bytes{0x41, 0x0D, 0x32}));
}

TEST(EcuTest, IgnoresOtherIdentifiersAndWidths) {
  Ecu ecu;
  EXPECT_TRUE(ecu.Hear(passthru::kIso15765, CanFrame{0x7E1, false, {0x01, 0x0C}}).empty());
  EXPECT_TRUE(ecu.Hear(passthru::kIso15765, CanFrame{0x7DF, true, {0x01, 0x0C}}).empty());
  EXPECT_TRUE(ecu.Hear(passthru::kIso15765, CanFrame{0x18DB33F1, false, {0x01, 0x0C}}).empty());
  EXPECT_TRUE(
      ecu.Hear(passthru::kCan, CanFrame{0x7DF, false, {0x09, 0x01, 0x0C}}).empty());  // bad PCI
}

}  // namespace
}  // namespace tarnix::sim
