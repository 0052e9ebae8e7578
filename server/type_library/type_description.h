// The shapes of the type library's description: parameters, members,
// interfaces, coclasses and the library itself. The description is plain
// constant data; everything that needs to know a member's signature
// (late-bound calls, type information, registration, the command line) reads
// it from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "qxnet/platform.h"

namespace qx::typelib {

// How a member is reached through IDispatch.
enum class Kind : std::uint8_t { Method, PropGet, PropPut };

// Direction of a parameter. OutRetval is the hidden result of the call: it is
// not passed by the dispatch caller but returned in the result variant.
enum class Dir : std::uint8_t { In, Out, InOut, OutRetval };

// One parameter, as the dispatch layer sees it.
struct ParamDesc {
  const char16_t* name = nullptr;
  Dir dir = Dir::In;
  // The value's automation type: VT_BSTR, VT_I4, VT_I8, VT_BOOL, VT_DATE,
  // VT_VARIANT, VT_DISPATCH (an interface derived from IDispatch) or
  // VT_UNKNOWN (any other interface).
  VARTYPE vt = VT_EMPTY;
  // True when the member takes the value through a pointer (out, in/out and
  // retval parameters; interface results are pointers to pointers).
  bool byRef = false;
  // For interface-typed parameters: the interface the member expects.
  const GUID* iid = nullptr;
};

// Storage for one argument while a call is prepared: the coerced value or the
// out-value the member writes (an owned VARIANT), and what the member is
// actually handed (an address for by-reference parameters, an interface
// pointer for interface-typed in-parameters).
struct ArgSlot {
  VARIANT value;
  void* ptr;
};

// Calls one member of an object through its vtable slot; `self` is the
// object's pointer for the member's interface. Generated per member.
using Invoker = HRESULT (*)(void* self, ArgSlot* args);

inline constexpr std::size_t kMaxParams = 6;

struct MemberDesc {
  const char16_t* name = nullptr;
  DISPID dispid = 0;
  Kind kind = Kind::Method;
  std::uint8_t paramCount = 0;
  std::array<ParamDesc, kMaxParams> params{};
  // Null for members of pure dispatch interfaces, which have no vtable.
  Invoker invoke = nullptr;
  // Byte offset of the member's slot in its interface's vtable, taken from
  // the C++ member pointer; null for pure dispatch members.
  std::ptrdiff_t (*vtableOffset)() = nullptr;

  std::span<const ParamDesc> Params() const { return {params.data(), paramCount}; }
  // Number of arguments a dispatch caller passes (the retval excluded).
  std::size_t ArgumentCount() const {
    std::size_t n = 0;
    for (const ParamDesc& p : Params())
      if (p.dir != Dir::OutRetval) ++n;
    return n;
  }
  const ParamDesc* Retval() const {
    for (const ParamDesc& p : Params())
      if (p.dir == Dir::OutRetval) return &p;
    return nullptr;
  }
};

enum class InterfaceKind : std::uint8_t {
  Dual,      // derives from IDispatch, callable through its vtable and by dispatch
  Custom,    // derives from IUnknown only
  Dispatch,  // a pure dispatch interface (the outgoing event interfaces)
};

struct InterfaceDesc {
  const char16_t* name = nullptr;
  const GUID* iid = nullptr;
  InterfaceKind kind = InterfaceKind::Dual;
  std::span<const MemberDesc> members;
};

struct CoclassDesc {
  const char16_t* name = nullptr;  // "UpdateItem"
  const GUID* clsid = nullptr;
  const char16_t* progId = nullptr;                    // "QXNet.UpdateItem.1"
  const char16_t* versionIndependentProgId = nullptr;  // "QXNet.UpdateItem"
  const char16_t* description = nullptr;               // "UpdateItem Class"
  const char16_t* threadingModel = nullptr;            // "Apartment" or "Free"
  const InterfaceDesc* defaultInterface = nullptr;
  const InterfaceDesc* otherInterface = nullptr;   // a further incoming interface, or null
  const InterfaceDesc* sourceInterface = nullptr;  // the outgoing interface, or null
};

struct LibraryDesc {
  const char16_t* name = nullptr;  // "QXNETLib"
  const GUID* libid = nullptr;
  WORD majorVersion = 1;
  WORD minorVersion = 0;
  std::span<const InterfaceDesc> interfaces;
  std::span<const CoclassDesc> coclasses;
};

}  // namespace qx::typelib
