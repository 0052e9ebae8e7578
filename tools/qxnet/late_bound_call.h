// Late-bound use of an object through IDispatch, as scripts use the
// library: property puts, then one method call or property get.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qxnet/dispatch_members.h"
#include "qxnet/platform.h"
#include "qxnet/variant.h"

namespace qxcli {

// The steps of `qxnet call PROGID STEP...`: leading NAME=VALUE words are
// property puts, applied in order; the next word, if any, is the member to
// call or read, and every word after it is one of its arguments.
struct CallPlan {
  struct Put {
    std::string name, value;
  };
  std::vector<Put> puts;
  std::optional<std::string> member;
  std::vector<std::string> arguments;
};
// Throws UsageError when there is nothing to do.
CallPlan PlanCall(const std::vector<std::string>& words);

struct CallOutcome {
  qx::Variant result;
  std::vector<std::pair<std::string, qx::Variant>> out_values;  // by-reference parameters
};

// Sets one property (DISPATCH_PROPERTYPUT); `info` supplies the declared
// type when the object describes itself (null when it does not). Throws CallFailed / UsageError.
void PutProperty(IDispatch* object, const qx::InterfaceInfo* info, const std::string& name,
                 const std::string& value);

// Calls a method or reads a property (DISPATCH_METHOD | DISPATCH_PROPERTYGET).
// With type information, out-only parameters may be left off and in/out
// parameters are passed by reference; their values come back in
// out_values.
CallOutcome CallMember(IDispatch* object, const qx::InterfaceInfo* info, const std::string& name,
                       const std::vector<std::string>& arguments);

}  // namespace qxcli
