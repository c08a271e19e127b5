// Running table rows against a session: the answer, then the calls logged while it was made.
#include "scenario_rows.h"

#include <gtest/gtest.h>

namespace tarnix::e2e {

void CheckRow(PtsimSession& session, const ScenarioRow& row) {
  SCOPED_TRACE(std::string(row.method) + " " + row.params);
  const size_t before = session.LogSize();
  const Reply reply = session.Call(row.method, row.params);
  switch (row.answer.kind) {
    case Answer::Kind::kData:
      EXPECT_EQ(reply.Data(), row.answer.text);
      break;
    case Answer::Kind::kDataLike:
      EXPECT_TRUE(reply.ok()) << reply.line();
      EXPECT_TRUE(Matches(reply.data(), row.answer.text));
      break;
    case Answer::Kind::kError:
      EXPECT_EQ(reply.Error(), row.answer.text);
      break;
  }
  // The library has returned before the answer is written, so its lines are in the log by now.
  const LoggedCalls calls = session.LogFrom(before);
  for (const ExpectedCall& expected : row.calls) {
    const auto made = CallsOf(calls, expected.fn, expected.ioctl);
    const std::string what = expected.fn + " " + expected.ioctl;
    if (!expected.called) {
      EXPECT_TRUE(made.empty()) << what << " was called: " << JsonText(*made.front());
      continue;
    }
    if (made.empty()) {
      ADD_FAILURE() << what << " was not called";
      continue;
    }
    // Idle pump reads may be logged in between; one call of the request must fit.
    bool found = false;
    for (const rapidjson::Value* call : made)
      found = found || Matches(*call, expected.shows);
    if (!found) {
      EXPECT_TRUE(Matches(*made.back(), expected.shows)) << what;
    }
  }
}

void CheckRows(PtsimSession& session, const std::vector<ScenarioRow>& rows) {
  for (const ScenarioRow& row : rows)
    CheckRow(session, row);
}

}  // namespace tarnix::e2e
