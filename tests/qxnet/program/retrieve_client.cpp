// A client process for the tests that kill one mid-download: it creates a
// QXNet object through the registry the test set up (its environment names
// it) and retrieves the URL given. Usage: retrieve_client URL
// Exits 0 when the download completed, 1 otherwise.
#include <string>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  qx::ComPtr<_QXNet> net;
  if (CoCreateInstance(CLSID_QXNet, nullptr, CLSCTX_INPROC_SERVER, IID__QXNet, net.PutVoid()) !=
      S_OK) {
    return 1;
  }
  qx::BStr url = qx::BStr::FromUtf8(argv[1]);
  qx::BStr file;
  return net->RetrieveFile(url.Get(), 0, file.Put()) == S_OK ? 0 : 1;
}
