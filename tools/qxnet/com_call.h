// Checking result codes of library calls and turning failures into
// CallFailed with the description of the thread's error record.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "qxnet/platform.h"
#include "tools/qxnet/cli_errors.h"

namespace qxcli {

// "0x80004005".
std::string HresultText(HRESULT hr);

// The runtime's text of a result code ("Class not registered"), without the
// closing full stop; empty for codes without one.
std::string KnownResultText(HRESULT hr);

// Takes the thread's error record and returns its description (empty when
// there is none); the record is cleared.
std::string TakeErrorDescription();
void ClearErrorRecord();

// Throws CallFailed when hr is a failure: the error record's description,
// else `what` with the code's text.
void Check(HRESULT hr, std::string_view what);

// Runs one library call with a clear error record and checks its result.
template <class F>
void Call(std::string_view what, F&& call) {
  ClearErrorRecord();
  Check(std::forward<F>(call)(), what);
}

}  // namespace qxcli
