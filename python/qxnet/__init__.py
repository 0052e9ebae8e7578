"""Scripting of registered automation classes, late-bound through IDispatch.

    import qxnet
    catalog = qxnet.Dispatch("QXNet.UpdateCatalog")
    catalog.fileName = "/home/me/catalog.xml"
    catalog.Load()
    for item in catalog.NotInstalledItems:
        print(item.title, item.pubDate)

Dispatch(name)          create an object by ProgID or "{class identifier}"
Object                  an object: properties, methods, len(), [i], iteration
connect(obj, handler)   call handler.<EventName>(...) for each event of obj
Connection              what connect returns: close(), or use it with `with`
Error                   a failed call: hresult, description, source, argerror
"""

from ._error import Error
from ._qxnet import Connection, Dispatch, Object, connect, _can_unload_now

__all__ = ["Connection", "Dispatch", "Error", "Object", "connect"]
