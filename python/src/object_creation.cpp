#include "object_creation.h"

#include "com_error.h"
#include "dispatch_object.h"
#include "loaded_modules.h"
#include "qxnet/com_ptr.h"
#include "wide_text.h"

namespace qxpy {

namespace {

[[noreturn]] void RaiseCreationError(HRESULT hr, const std::string& name) {
  switch (static_cast<uint32_t>(hr)) {
    case static_cast<uint32_t>(REGDB_E_CLASSNOTREG):
    case static_cast<uint32_t>(CO_E_CLASSSTRING):
      RaiseError(hr, "Class " + name +
                         " is not registered: run `qxnet register` to register the module for "
                         "this user, or `qxnet register --system` for every user");
    case static_cast<uint32_t>(CO_E_DLLNOTFOUND):
    case static_cast<uint32_t>(CO_E_ERRORINDLL):
      RaiseError(hr, "The module registered for " + name +
                         " cannot be loaded: run `qxnet register` again");
    case static_cast<uint32_t>(CLASS_E_CLASSNOTAVAILABLE):
      RaiseError(hr, "Class " + name + " is not available in its registered module");
    default:
      RaiseCallError(hr, "Unable to create " + name);
  }
}

}  // namespace

py::object Dispatch(const std::string& name) {
  const std::u16string text = WideText(name);
  CLSID clsid{};
  ClearErrorRecord();
  HRESULT hr = !text.empty() && text.front() == u'{' ? CLSIDFromString(text.c_str(), &clsid)
                                                     : CLSIDFromProgID(text.c_str(), &clsid);
  if (FAILED(hr)) RaiseCreationError(hr, name);
  qx::ComPtr<IDispatch> object;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid());
  if (FAILED(hr) || !object) RaiseCreationError(FAILED(hr) ? hr : E_POINTER, name);
  RememberModuleOf(clsid);
  return py::cast(Object(std::move(object)));
}

}  // namespace qxpy
