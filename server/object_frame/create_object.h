// How the library's objects create one another: always through the class
// registry, never by direct construction, so a class is used the same way
// whether the caller is a script or the library itself.
#pragma once

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

namespace qx {

// By ProgID, in-process: CLSIDFromString then CoCreateInstance with
// CLSCTX_INPROC_SERVER. Returns the failing step's code, or E_FAIL when the
// call succeeded without yielding an object.
HRESULT CreateByProgId(const char16_t* progId, REFIID riid, void** object);

// By class identifier with the given server context.
HRESULT CreateByClassId(const CLSID& clsid, DWORD context, REFIID riid, void** object);

// A class's factory, found once through the class registry, for a caller
// that makes many objects of the class in a row (a reader's items): each
// object then costs no registry lookup.
HRESULT GetClassFactory(const CLSID& clsid, DWORD context, ComPtr<IClassFactory>& factory);

// An object from a held factory; E_FAIL when the call succeeds without
// yielding one.
HRESULT CreateFromFactory(IClassFactory& factory, REFIID riid, void** object);

template <class T>
HRESULT CreateFromFactory(IClassFactory& factory, ComPtr<T>& out) {
  return CreateFromFactory(factory, qx_iid_of<T>::value, out.PutVoid());
}

template <class T>
HRESULT CreateByProgId(const char16_t* progId, ComPtr<T>& out) {
  return CreateByProgId(progId, qx_iid_of<T>::value, out.PutVoid());
}

template <class T>
HRESULT CreateByClassId(const CLSID& clsid, DWORD context, ComPtr<T>& out) {
  return CreateByClassId(clsid, context, qx_iid_of<T>::value, out.PutVoid());
}

}  // namespace qx
