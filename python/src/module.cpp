// The _qxnet extension: the C++ half of the qxnet package.
#include <pybind11/pybind11.h>

#include "dispatch_object.h"
#include "event_connection.h"
#include "loaded_modules.h"
#include "object_creation.h"
#include "variant_conversion.h"

namespace py = pybind11;

PYBIND11_MODULE(_qxnet, module) {
  module.doc() = "Late-bound access to the objects of registered in-process servers.";
  qxpy::BindObject(module);
  qxpy::BindEvents(module);
  module.def("Dispatch", &qxpy::Dispatch, py::arg("name"),
             "Creates an object by ProgID (\"QXNet.UpdateCatalog\") or class identifier text "
             "(\"{...}\") through the class registry; returns a qxnet.Object.");
  module.def("_can_unload_now", &qxpy::CanUnloadModulesNow,
             "DllCanUnloadNow of the modules objects were created from (0: S_OK).");
  module.def(
      "_round_trip",
      [](py::handle value, int vt) {
        qx::Variant variant;
        qxpy::ToVariant(value, variant);
        if (vt >= 0) qxpy::CoerceTo(variant, static_cast<VARTYPE>(vt), "value");
        return qxpy::FromVariant(variant);
      },
      py::arg("value"), py::arg("vt") = -1,
      "The value converted to a VARIANT (coerced to `vt` when given) and back.");
}
