// The members of an object's dispatch interface, as the module uses them:
// the shared reader of type information, a cache of what it read per
// interface, and the Python-style signature shown as a member's __doc__.
#pragma once

#include <memory>
#include <string>

#include "qxnet/dispatch_members.h"

namespace qxpy {

using qx::InterfaceInfo;
using qx::MemberInfo;
using qx::ParamInfo;
using qx::ReferencedInterface;
using qx::TypeName;

// The description of an object's dispatch interface, read once per
// interface identifier; null when the object hands out no type information.
std::shared_ptr<const InterfaceInfo> InterfaceOf(IDispatch* object);

// "RetrieveFile(url: BSTR, parentWnd: long, fileName: BSTR [in, out]) -> ..."
std::string Signature(const MemberInfo& member);

}  // namespace qxpy
