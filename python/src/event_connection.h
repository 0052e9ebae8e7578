// qxnet.connect(obj, handler): a small C++ sink object connected to obj's
// connection point for its outgoing dispatch interface. Each event calls the
// handler's method of the event's name (from the interface's type
// information) with the by-value arguments; the handler's return value is
// stored through the by-reference ones (the cancel flag). Events may come
// from any thread: the sink takes the GIL. A handler's exception never
// reaches the object; it goes to sys.unraisablehook.
#pragma once

#include <pybind11/pybind11.h>

#include "qxnet/com_ptr.h"
#include "qxnet/platform.h"

namespace qxpy {

namespace py = pybind11;

class Object;

// qxnet.Connection: the sink stays connected until close() or until the
// Connection is collected.
class Connection {
 public:
  Connection(qx::ComPtr<IConnectionPoint> point, DWORD cookie)
      : point_(std::move(point)), cookie_(cookie) {}
  Connection(Connection&&) = default;
  Connection& operator=(Connection&&) = delete;
  ~Connection() { Close(); }

  void Close();
  bool Connected() const { return static_cast<bool>(point_); }

 private:
  qx::ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

Connection Connect(const Object& source, py::object handler);

void BindEvents(py::module_& module);

}  // namespace qxpy
