// Creating the library's objects the way every client does: by ProgID (or
// class identifier) through the class registry and CoCreateInstance.
#pragma once

#include <string>
#include <string_view>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

namespace qxcli {

// "UpdateItem" -> "QXNet.UpdateItem"; ProgIDs with a dot and "{CLSID}"
// texts are kept as they are.
std::string FullProgId(std::string_view name);

// The class identifier for a ProgID or a "{CLSID}" text; throws CallFailed.
CLSID ClassIdOf(std::string_view name);

// Creates an object and asks it for `iid`; the result code of the first
// step that failed (the class lookup or the creation).
HRESULT TryCreate(std::string_view name, const IID& iid, void** out);

// Throws CallFailed describing why the class `name` could not be created.
void CheckCreation(HRESULT hr, std::string_view name);

// Creates an object by ProgID and returns its interface T; throws
// CallFailed with a description that names the class.
template <class T>
qx::ComPtr<T> Create(std::string_view name) {
  qx::ComPtr<T> object;
  CheckCreation(TryCreate(name, qx_iid_of<T>::value, object.PutVoid()), name);
  return object;
}

}  // namespace qxcli
