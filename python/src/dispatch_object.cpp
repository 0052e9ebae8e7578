#include "dispatch_object.h"

#include <cstdint>

#include "com_error.h"
#include "dispatch_call.h"
#include "enumerator.h"
#include "variant_conversion.h"
#include "wide_text.h"

namespace qxpy {

Object::Object(qx::ComPtr<IDispatch> dispatch)
    : dispatch_(std::move(dispatch)), info_(InterfaceOf(dispatch_.Get())) {}

bool Object::IdOf(const std::u16string& name, DISPID& id) const {
  std::u16string copy = name;
  LPOLESTR names[] = {copy.data()};
  id = DISPID_UNKNOWN;
  return SUCCEEDED(dispatch_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
}

std::string Object::TypeName() const { return info_ ? info_->name : "IDispatch"; }

py::object Object::GetAttribute(const std::string& name) const {
  // Python's own protocols look for dunder names; they are never members.
  if (name.size() > 1 && name[0] == '_' && name[1] == '_')
    RaisePython(PyExc_AttributeError,
                "'" + TypeName() + "' object has no attribute '" + name + "'");
  DISPID id;
  if (!IdOf(WideText(name), id))
    RaisePython(PyExc_AttributeError, "'" + TypeName() + "' object has no member '" + name + "'");

  CallTarget target{dispatch_.Get(), id, DISPATCH_METHOD | DISPATCH_PROPERTYGET, nullptr, name};
  if (info_) {
    const MemberInfo* get = info_->Find(id, INVOKE_PROPERTYGET);
    if (get && get->Arguments().empty()) {
      target.flags = DISPATCH_PROPERTYGET;
      target.member = get;
      target.name = get->name;
      return CallMember(target, py::tuple());
    }
    const MemberInfo* method = info_->Find(id, INVOKE_FUNC);
    target.flags = method ? DISPATCH_METHOD : DISPATCH_PROPERTYGET;
    target.member = method ? method : get;
    if (!target.member)
      RaisePython(PyExc_AttributeError, "'" + name + "' of '" + TypeName() + "' can only be set");
    target.name = target.member->name;
  }
  // The callable keeps the object and the description its target points
  // into alive.
  struct BoundMember {
    qx::ComPtr<IDispatch> object;
    std::shared_ptr<const InterfaceInfo> info;
    CallTarget target;
  };
  const BoundMember bound{dispatch_, info_, target};
  const std::string doc = target.member ? Signature(*target.member)
                                        : name + "(*args): a member without type information";
  // The docstring is the member's own signature, not the wrapper's.
  py::options options;
  options.disable_function_signatures();
  return py::cpp_function([bound](const py::args& args) { return CallMember(bound.target, args); },
                          py::name(target.name.c_str()), py::doc(doc.c_str()));
}

void Object::SetAttribute(const std::string& name, py::handle value) const {
  DISPID id;
  if (!IdOf(WideText(name), id))
    RaisePython(PyExc_AttributeError, "'" + TypeName() + "' object has no member '" + name + "'");
  const MemberInfo* put = nullptr;
  if (info_) {
    put = info_->Find(id, INVOKE_PROPERTYPUT);
    // An object goes to the by-reference setter when there is one.
    const MemberInfo* put_ref = info_->Find(id, INVOKE_PROPERTYPUTREF);
    if (put_ref && (!put || py::isinstance<Object>(value))) put = put_ref;
    if (!put)
      RaisePython(PyExc_AttributeError, "'" + name + "' of '" + TypeName() + "' is read-only");
  }
  PutProperty(dispatch_.Get(), id, put, put ? put->name : name, value);
}

py::list Object::Members() const {
  py::list names;
  if (!info_) return names;
  py::set seen;
  for (const MemberInfo& m : info_->members) {
    if (m.restricted || m.hidden || m.id == DISPID_NEWENUM) continue;
    py::str text(m.name);
    if (seen.contains(text)) continue;
    seen.add(text);
    names.append(text);
  }
  return names;
}

std::string Object::Repr() const {
  char address[32];
  std::snprintf(address, sizeof address, "%p", static_cast<void*>(dispatch_.Get()));
  return "<qxnet.Object " + TypeName() + " at " + address + ">";
}

py::object Object::CallByName(const char16_t* name, WORD flags, const py::tuple& args,
                              const char* role) const {
  DISPID id;
  if (!IdOf(name, id)) RaisePython(PyExc_TypeError, "'" + TypeName() + "' object " + role);
  CallTarget target{dispatch_.Get(), id, flags, nullptr, Utf8Text(name)};
  if (info_) {
    target.member = info_->Find(id, INVOKE_FUNC);
    if (!target.member) target.member = info_->Find(id, INVOKE_PROPERTYGET);
  }
  return CallMember(target, args);
}

Py_ssize_t Object::Length() const {
  py::object count = CallByName(u"Count", DISPATCH_PROPERTYGET, py::tuple(), "has no len()");
  const Py_ssize_t length = count.cast<Py_ssize_t>();
  if (length < 0) RaisePython(PyExc_ValueError, "Count is negative");
  return length;
}

py::object Object::Item(py::handle key) const {
  const bool index = PyLong_Check(key.ptr()) && !PyBool_Check(key.ptr());
  if (index) {
    int overflow = 0;
    const long long position = PyLong_AsLongLongAndOverflow(key.ptr(), &overflow);
    if (overflow != 0 || position < 0 || position > INT32_MAX)
      RaisePython(PyExc_IndexError, TypeName() + " index out of range");
  }
  try {
    return CallByName(u"Item", DISPATCH_METHOD | DISPATCH_PROPERTYGET, py::make_tuple(key),
                      "is not subscriptable");
  } catch (py::error_already_set& error) {
    // An index past the end: the collection answers "Invalid index".
    if (!index || !error.matches(ErrorType())) throw;
    const uint32_t hr = error.value().attr("hresult").cast<uint32_t>();
    if (hr != static_cast<uint32_t>(E_INVALIDARG) && hr != static_cast<uint32_t>(DISP_E_BADINDEX))
      throw;
    const std::string description = py::str(error.value());
    RaisePython(PyExc_IndexError, description);
  }
}

py::object Object::Iterate() const {
  qx::Variant result;
  EXCEPINFO exception{};
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  ClearErrorRecord();
  HRESULT hr = dispatch_->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &result, &exception,
                                 nullptr);
  if (hr == DISP_E_MEMBERNOTFOUND || hr == DISP_E_UNKNOWNNAME) {
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    RaisePython(PyExc_TypeError, "'" + TypeName() + "' object is not iterable");
  }
  if (FAILED(hr)) RaiseInvokeError(hr, exception, std::nullopt, "_NewEnum");
  return MakeEnumerator(result, TypeName());
}

bool Object::SameObject(const Object& other) const {
  return qx::QueryAs<IUnknown>(Get()).Get() == qx::QueryAs<IUnknown>(other.Get()).Get();
}

size_t Object::Hash() const {
  return reinterpret_cast<uintptr_t>(qx::QueryAs<IUnknown>(Get()).Get());
}

void BindObject(py::module_& module) {
  BindEnumerator(module);
  py::class_<Object>(module, "Object",
                     "An object of the component library, called late-bound through IDispatch.")
      .def("__getattr__", &Object::GetAttribute)
      .def("__setattr__", &Object::SetAttribute)
      .def("__dir__", &Object::Members)
      .def("__repr__", &Object::Repr)
      .def("__len__", &Object::Length)
      .def("__getitem__", &Object::Item)
      .def("__iter__", &Object::Iterate)
      // Every object is true, collections included, as for other objects.
      .def("__bool__", [](const Object&) { return true; })
      .def("__eq__",
           [](const Object& self, py::handle other) {
             return py::isinstance<Object>(other) && self.SameObject(other.cast<const Object&>());
           })
      .def("__hash__", &Object::Hash);
}

}  // namespace qxpy
