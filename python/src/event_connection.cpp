#include "event_connection.h"

#include <memory>
#include <vector>

#include "com_error.h"
#include "dispatch_object.h"
#include "qxnet/event_sink.h"
#include "type_members.h"
#include "variant_conversion.h"
#include "wide_text.h"

namespace qxpy {

namespace {

class EventSink final : public qx::EventSink {
 public:
  EventSink(py::object handler, std::shared_ptr<const InterfaceInfo> events)
      : qx::EventSink(events->iid), handler_(std::move(handler)), events_(std::move(events)) {}

  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!names || !ids) return E_POINTER;
    HRESULT hr = S_OK;
    for (UINT i = 0; i < count; ++i) {
      const MemberInfo* event =
          i == 0 && names[i] ? events_->Find(qx::Utf16ToUtf8(qx::WideView(names[i])), INVOKE_FUNC)
                             : nullptr;
      ids[i] = event ? event->id : DISPID_UNKNOWN;
      if (!event) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }

  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override {
    const MemberInfo* event = events_->Find(id, INVOKE_FUNC);
    if (!event) return DISP_E_MEMBERNOTFOUND;
    if (params && params->cArgs > 0 && !params->rgvarg) return E_POINTER;
    if (!Py_IsInitialized() || _Py_IsFinalizing()) return S_OK;
    py::gil_scoped_acquire gil;
    py::object method;
    try {
      method = py::getattr(handler_, py::str(event->name), py::none());
      if (method.is_none()) return S_OK;  // the handler skips this event
      Deliver(*event, method, params);
    } catch (py::error_already_set& error) {
      error.discard_as_unraisable(method ? method : handler_);
    } catch (py::builtin_exception& error) {
      error.set_error();
      PyErr_WriteUnraisable(method ? method.ptr() : handler_.ptr());
    } catch (const std::exception& error) {
      PyErr_SetString(PyExc_RuntimeError, error.what());
      PyErr_WriteUnraisable(method ? method.ptr() : handler_.ptr());
    }
    return S_OK;
  }

 private:
  ~EventSink() override {
    // The last release may come from a thread without the GIL, or after
    // the interpreter is gone (then the handler is left alone, as it is
    // when the GIL cannot be taken).
    if (Py_IsInitialized() && !_Py_IsFinalizing()) {
      try {
        py::gil_scoped_acquire gil;
        handler_ = py::object();
        return;
      } catch (...) {
      }
    }
    handler_.release();
  }

  // Calls `method` with the by-value arguments (dispatch passes them
  // last-first) and stores its result through the by-reference ones.
  void Deliver(const MemberInfo& event, const py::object& method, DISPPARAMS* params) {
    const UINT count = params ? params->cArgs : 0;
    py::list args;
    std::vector<VARIANT*> references;
    for (UINT i = 0; i < count; ++i) {
      VARIANT& arg = params->rgvarg[count - 1 - i];
      if (arg.vt & VT_BYREF)
        references.push_back(&arg);
      else
        args.append(FromVariant(arg));
    }
    py::object result = method(*args);
    if (result.is_none() || references.empty()) return;
    const std::string what = event.name + " handler result";
    if (references.size() == 1) {
      StoreThroughReference(*references.front(), result, what);
      return;
    }
    py::tuple values = py::reinterpret_borrow<py::tuple>(result);
    if (!PyTuple_Check(result.ptr()) || values.size() != references.size())
      RaisePython(PyExc_TypeError,
                  what + ": expected a tuple of " + std::to_string(references.size()) + " values");
    for (size_t i = 0; i < references.size(); ++i)
      StoreThroughReference(*references[i], values[i], what);
  }

  py::object handler_;
  std::shared_ptr<const InterfaceInfo> events_;
};

struct OutgoingInterface {
  qx::ComPtr<IConnectionPoint> point;
  std::shared_ptr<const InterfaceInfo> events;
};

// The first connection point whose interface the object's type
// information describes.
OutgoingInterface FindOutgoing(const Object& source) {
  qx::ComPtr<IConnectionPointContainer> container =
      qx::QueryAs<IConnectionPointContainer>(source.Get());
  if (!container) RaiseError(E_NOINTERFACE, "'" + source.TypeName() + "' object fires no events");
  qx::ComPtr<IEnumConnectionPoints> points;
  ClearErrorRecord();
  HRESULT hr = container->EnumConnectionPoints(points.Put());
  if (FAILED(hr) || !points) RaiseCallError(FAILED(hr) ? hr : E_POINTER, "EnumConnectionPoints");
  for (;;) {
    OutgoingInterface found;
    ULONG fetched = 0;
    if (points->Next(1, found.point.Put(), &fetched) != S_OK || fetched == 0 || !found.point) break;
    IID iid{};
    if (FAILED(found.point->GetConnectionInterface(&iid))) continue;
    found.events = ReferencedInterface(source.Get(), iid);
    if (found.events) return found;
  }
  RaiseError(CONNECT_E_NOCONNECTION,
             "'" + source.TypeName() + "' object has no described outgoing interface");
}

}  // namespace

void Connection::Close() {
  if (qx::ComPtr<IConnectionPoint> point = std::move(point_)) point->Unadvise(cookie_);
}

Connection Connect(const Object& source, py::object handler) {
  OutgoingInterface outgoing = FindOutgoing(source);
  qx::ComPtr<IDispatch> sink =
      qx::ComPtr<IDispatch>::Attach(new EventSink(std::move(handler), outgoing.events));
  DWORD cookie = 0;
  ClearErrorRecord();
  const HRESULT hr = outgoing.point->Advise(sink.Get(), &cookie);
  if (FAILED(hr)) RaiseCallError(hr, "Advise");
  return Connection(std::move(outgoing.point), cookie);
}

void BindEvents(py::module_& module) {
  py::class_<Connection>(module, "Connection",
                         "A handler connected to an object's events; close() disconnects it.")
      .def("close", &Connection::Close, "Disconnects the handler (again: nothing happens).")
      .def_property_readonly("connected", &Connection::Connected)
      .def("__enter__", [](py::object self) { return self; })
      .def("__exit__", [](Connection& self, const py::args&) {
        self.Close();
        return false;
      });
  module.def("connect", &Connect, py::arg("obj"), py::arg("handler"),
             "Connects `handler` to the events of `obj`: each event calls the handler's method "
             "of the event's name; what it returns is stored in the event's by-reference "
             "parameter (True cancels a transfer). Returns a Connection.");
}

}  // namespace qxpy
