// Table rows for request scenarios: one request, its exact answer, and the calls it must (or must
// not) make into ptsim while it runs.
#pragma once

#include <string>
#include <vector>

#include "ptsim_session.h"

namespace tarnix::e2e {

/// A call that ptsim must log while the request runs: entry point, ioctl name ("" for any) and
/// members the logged call must show (a JSON object text). With `called` false: no such call.
struct ExpectedCall {
  std::string fn;
  std::string ioctl;
  std::string shows;
  bool called = true;
};

/// The request must not call `fn` (that ioctl, for "PassThruIoctl" with `ioctl` given).
inline ExpectedCall NotCalled(std::string fn, std::string ioctl = "") {
  return {std::move(fn), std::move(ioctl), "", false};
}

/// What a request must answer.
struct Answer {
  enum class Kind { kData, kDataLike, kError };
  Kind kind;
  std::string text;
};

/// Success with exactly this "data" text on the wire.
inline Answer Data(std::string text) {
  return {Answer::Kind::kData, std::move(text)};
}
/// Success with data matching this JSON text (see Matches: for frames with time stamps).
inline Answer DataLike(std::string text) {
  return {Answer::Kind::kDataLike, std::move(text)};
}
/// Error -1 with exactly this message.
inline Answer Fails(std::string text) {
  return {Answer::Kind::kError, std::move(text)};
}

struct ScenarioRow {
  const char* method;
  const char* params;  ///< JSON object text, or "" for none
  Answer answer;
  std::vector<ExpectedCall> calls;
};

/// Sends the row's request in `session` and checks its answer and its calls.
void CheckRow(PtsimSession& session, const ScenarioRow& row);

/// Checks every row in order, in one session.
void CheckRows(PtsimSession& session, const std::vector<ScenarioRow>& rows);

}  // namespace tarnix::e2e
