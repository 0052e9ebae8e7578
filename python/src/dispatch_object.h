// qxnet.Object: a Python view of any object's IDispatch. Members are found
// by name (any letter case) through GetIDsOfNames and told apart by the
// invoke kinds of the type information, so a property is read, a method is
// handed out as a callable, and the automation collection pattern (Count,
// Item, _NewEnum) backs len(), [] and iteration.
#pragma once

#include <pybind11/pybind11.h>

#include <memory>
#include <string>

#include "qxnet/com_ptr.h"
#include "qxnet/platform.h"
#include "type_members.h"

namespace qxpy {

namespace py = pybind11;

class Object {
 public:
  explicit Object(qx::ComPtr<IDispatch> dispatch);

  IDispatch* Get() const { return dispatch_.Get(); }

  py::object GetAttribute(const std::string& name) const;
  void SetAttribute(const std::string& name, py::handle value) const;
  py::list Members() const;
  std::string Repr() const;
  std::string TypeName() const;

  Py_ssize_t Length() const;
  py::object Item(py::handle key) const;
  py::object Iterate() const;

  bool SameObject(const Object& other) const;
  size_t Hash() const;

 private:
  // The DISPID of `name`; false when the object has no such member.
  bool IdOf(const std::u16string& name, DISPID& id) const;
  // Calls the collection member `name`; raises TypeError "object <role>"
  // when the object has no such member.
  py::object CallByName(const char16_t* name, WORD flags, const py::tuple& args,
                        const char* role) const;

  qx::ComPtr<IDispatch> dispatch_;
  std::shared_ptr<const InterfaceInfo> info_;  // null: no type information
};

// Registers qxnet.Object and its iterator type.
void BindObject(py::module_& module);

}  // namespace qxpy
