// Binds a table entry of the description to a C++ member function of an
// interface. The parameter types, the interface and the call itself are
// deduced from the member pointer, so the description cannot disagree with
// the C++ declaration: the table supplies only what C++ does not know (the
// member's name, dispid, kind, and each parameter's name and direction).
//
//   Member<&IUpdateItem::get_title>(u"title", 1, Kind::PropGet,
//                                   Param(u"pVal", Dir::OutRetval))
//
// A parameter count or a direction that does not fit the C++ signature stops
// the build (the builders are evaluated at compile time).
#pragma once

#include <concepts>
#include <cstdint>
#include <cstring>
#include <tuple>
#include <type_traits>
#include <utility>

#include "qxnet/qxnetlib.h"
#include "server/type_library/type_description.h"

namespace qx::typelib {

// ---------------------------------------------------------------- parameter types

namespace binding {

// Reaching this function during constant evaluation makes the table entry
// ill-formed; the message names the mistake.
inline void DescriptionError(const char*) {}

template <class T>
inline constexpr bool kAlwaysFalse = false;

// Value types that can be passed by value or through a pointer.
template <class T>
struct ScalarType {
  static constexpr bool kKnown = false;
};
template <>
struct ScalarType<BSTR> {
  static constexpr bool kKnown = true;
  static constexpr VARTYPE kVt = VT_BSTR;
  static BSTR Read(const VARIANT& v) { return v.bstrVal; }
};
template <>
struct ScalarType<LONG> {
  static constexpr bool kKnown = true;
  static constexpr VARTYPE kVt = VT_I4;
  static LONG Read(const VARIANT& v) { return v.lVal; }
};
template <>
struct ScalarType<VARIANT_BOOL> {
  static constexpr bool kKnown = true;
  static constexpr VARTYPE kVt = VT_BOOL;
  static VARIANT_BOOL Read(const VARIANT& v) { return v.boolVal; }
};
template <>
struct ScalarType<LONGLONG> {
  static constexpr bool kKnown = true;
  static constexpr VARTYPE kVt = VT_I8;
  static LONGLONG Read(const VARIANT& v) { return v.llVal; }
};
template <>
struct ScalarType<DATE> {
  static constexpr bool kKnown = true;
  static constexpr VARTYPE kVt = VT_DATE;
  static DATE Read(const VARIANT& v) { return v.date; }
};

template <class I>
concept Interface = std::derived_from<I, IUnknown>;

template <Interface I>
inline constexpr VARTYPE kInterfaceVt = std::derived_from<I, IDispatch> ? VT_DISPATCH : VT_UNKNOWN;

// ArgType<T>: how a C++ parameter of type T is described and fed.
template <class T>
struct ArgType {
  static_assert(kAlwaysFalse<T>, "parameter type not supported by the dispatch layer");
};

// By value: BSTR, LONG, LONGLONG, VARIANT_BOOL, DATE.
template <class T>
requires(ScalarType<T>::kKnown) struct ArgType<T> {
  static constexpr VARTYPE kVt = ScalarType<T>::kVt;
  static constexpr bool kByRef = false;
  static constexpr const GUID* kIid = nullptr;
  static T Get(ArgSlot& s) { return ScalarType<T>::Read(s.value); }
};

// Through a pointer: BSTR*, LONG*, LONGLONG*, VARIANT_BOOL*, DATE*.
template <class T>
requires(ScalarType<T>::kKnown) struct ArgType<T*> {
  static constexpr VARTYPE kVt = ScalarType<T>::kVt;
  static constexpr bool kByRef = true;
  static constexpr const GUID* kIid = nullptr;
  static T* Get(ArgSlot& s) { return static_cast<T*>(s.ptr); }
};

// VARIANT* (results of variant type).
template <>
struct ArgType<VARIANT*> {
  static constexpr VARTYPE kVt = VT_VARIANT;
  static constexpr bool kByRef = true;
  static constexpr const GUID* kIid = nullptr;
  static VARIANT* Get(ArgSlot& s) { return static_cast<VARIANT*>(s.ptr); }
};

// An interface pointer given to the member.
template <Interface I>
struct ArgType<I*> {
  static constexpr VARTYPE kVt = kInterfaceVt<I>;
  static constexpr bool kByRef = false;
  static constexpr const GUID* kIid = &qx_iid_of<I>::value;
  static I* Get(ArgSlot& s) { return static_cast<I*>(s.ptr); }
};

// An interface pointer the member hands back.
template <Interface I>
struct ArgType<I**> {
  static constexpr VARTYPE kVt = kInterfaceVt<I>;
  static constexpr bool kByRef = true;
  static constexpr const GUID* kIid = &qx_iid_of<I>::value;
  static I** Get(ArgSlot& s) { return static_cast<I**>(s.ptr); }
};

// The class and parameter list of a member pointer.
template <class F>
struct MemberSignature;
template <class C, class... A>
struct MemberSignature<HRESULT (STDMETHODCALLTYPE C::*)(A...)> {
  using Class = C;
  using Args = std::tuple<A...>;
  static constexpr std::size_t kArity = sizeof...(A);
};

template <auto Ptr, std::size_t... I>
HRESULT CallMember(void* self, ArgSlot* slots, std::index_sequence<I...>) {
  using Sig = MemberSignature<decltype(Ptr)>;
  auto* object = static_cast<typename Sig::Class*>(self);
  return (object->*Ptr)(ArgType<std::tuple_element_t<I, typename Sig::Args>>::Get(slots[I])...);
}

template <auto Ptr>
HRESULT InvokeMember(void* self, ArgSlot* slots) {
  using Sig = MemberSignature<decltype(Ptr)>;
  return CallMember<Ptr>(self, slots, std::make_index_sequence<Sig::kArity>{});
}

// The vtable byte offset a virtual member pointer stands for (the C++ ABI
// keeps it in the pointer: odd value = offset + 1, or a flag in the
// adjustment on ARM).
template <auto Ptr>
std::ptrdiff_t VtableOffsetOf() {
  struct Representation {
    std::uintptr_t ptr;
    std::ptrdiff_t adj;
  };
  static_assert(sizeof(Ptr) == sizeof(Representation), "unexpected member pointer layout");
  auto p = Ptr;
  Representation r;
  std::memcpy(&r, &p, sizeof r);
#if defined(__arm__) || defined(__aarch64__)
  return (r.adj & 1) ? static_cast<std::ptrdiff_t>(r.ptr) : -1;
#else
  return (r.ptr & 1) ? static_cast<std::ptrdiff_t>(r.ptr - 1) : -1;
#endif
}

template <class T>
consteval ParamDesc Describe(const char16_t* name, Dir dir) {
  using A = ArgType<T>;
  ParamDesc d{name, dir, A::kVt, A::kByRef, A::kIid};
  switch (dir) {
    case Dir::In:
      if (A::kByRef) DescriptionError("an in-parameter must be passed by value");
      break;
    case Dir::Out:
    case Dir::InOut:
      if (!A::kByRef) DescriptionError("an out-parameter must be a pointer");
      if (A::kIid || A::kVt == VT_VARIANT)
        DescriptionError("in/out parameters are strings, numbers, booleans or dates");
      break;
    case Dir::OutRetval:
      if (!A::kByRef) DescriptionError("a retval parameter must be a pointer");
      break;
  }
  return d;
}

}  // namespace binding

// Name and direction of one parameter, as written in a table entry.
struct ParamSpec {
  const char16_t* name;
  Dir dir;
  VARTYPE vt = VT_EMPTY;  // only for members of pure dispatch interfaces
  bool byRef = false;
};

consteval ParamSpec Param(const char16_t* name, Dir dir) { return {name, dir}; }

// A parameter of a pure dispatch interface member, which has no C++ member
// to deduce its type from.
consteval ParamSpec DispParam(const char16_t* name, Dir dir, VARTYPE vt, bool byRef = false) {
  return {name, dir, vt, byRef};
}

namespace binding {

consteval void CheckShape(const MemberDesc& m) {
  for (std::size_t i = 0; i < m.paramCount; ++i)
    if (m.params[i].dir == Dir::OutRetval && i + 1 != m.paramCount)
      DescriptionError("the retval must be the last parameter");
  if (m.kind == Kind::PropGet &&
      (m.paramCount == 0 || m.params[m.paramCount - 1].dir != Dir::OutRetval))
    DescriptionError("a property getter ends with its retval");
  if (m.kind == Kind::PropPut && (m.paramCount != 1 || m.params[0].dir != Dir::In))
    DescriptionError("a property setter takes one in-parameter");
}

template <class Tuple, std::size_t... I, class... S>
consteval void DescribeAll(MemberDesc& m, std::index_sequence<I...>, S... specs) {
  const ParamSpec list[] = {specs...};
  ((m.params[I] = Describe<std::tuple_element_t<I, Tuple>>(list[I].name, list[I].dir)), ...);
}

}  // namespace binding

// A member of a dual or custom interface, bound to its C++ member function.
template <auto Ptr, class... S>
consteval MemberDesc Member(const char16_t* name, DISPID dispid, Kind kind, S... specs) {
  using Sig = binding::MemberSignature<decltype(Ptr)>;
  static_assert(sizeof...(S) == Sig::kArity,
                "the entry names a different number of parameters than the C++ member has");
  static_assert(Sig::kArity <= kMaxParams);
  MemberDesc m;
  m.name = name;
  m.dispid = dispid;
  m.kind = kind;
  m.paramCount = static_cast<std::uint8_t>(Sig::kArity);
  if constexpr (Sig::kArity > 0 && sizeof...(S) == Sig::kArity)
    binding::DescribeAll<typename Sig::Args>(m, std::make_index_sequence<Sig::kArity>{}, specs...);
  m.invoke = &binding::InvokeMember<Ptr>;
  m.vtableOffset = &binding::VtableOffsetOf<Ptr>;
  binding::CheckShape(m);
  return m;
}

// A member of a pure dispatch interface (an event): described, not callable.
template <class... S>
consteval MemberDesc DispMember(const char16_t* name, DISPID dispid, S... specs) {
  static_assert(sizeof...(S) <= kMaxParams);
  MemberDesc m;
  m.name = name;
  m.dispid = dispid;
  m.kind = Kind::Method;
  m.paramCount = static_cast<std::uint8_t>(sizeof...(S));
  std::size_t i = 0;
  ((m.params[i++] = ParamDesc{specs.name, specs.dir, specs.vt, specs.byRef, nullptr}), ...);
  binding::CheckShape(m);
  return m;
}

}  // namespace qx::typelib
