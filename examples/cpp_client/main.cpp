// A short client of the installed QXNet library: creates an UpdateItem by
// ProgID through the class registry, sets and reads its title through the
// vtable, and turns any failure into text with FormatMessageW.
//
//   qxnet register                 # once, so the classes can be found
//   ./update_item_client "My title"
#include <cstdio>
#include <string>

#include <qxnet/bstr.h>
#include <qxnet/com_ptr.h>
#include <qxnet/platform.h>
#include <qxnet/qxnetlib.h>
#include <qxnet/text.h>

namespace {

// "Class not registered." for REGDB_E_CLASSNOTREG, and so on.
std::string ResultText(HRESULT hr) {
  OLECHAR text[512];
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, static_cast<DWORD>(hr), 0, text, 512, nullptr);
  return length ? qx::Utf16ToUtf8(std::u16string_view(text, length)) : "Unknown error.\n";
}

int Fail(const char* what, HRESULT hr) {
  std::fprintf(stderr, "%s failed (0x%08X): %s", what, static_cast<unsigned>(hr),
               ResultText(hr).c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string title = argc > 1 ? argv[1] : "Hello from a C++ client";

  CLSID clsid{};
  HRESULT hr = CLSIDFromProgID(u"QXNet.UpdateItem", &clsid);
  if (FAILED(hr)) return Fail("CLSIDFromProgID(QXNet.UpdateItem)", hr);

  qx::ComPtr<IUpdateItem> item;
  hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUpdateItem, item.PutVoid());
  if (FAILED(hr)) return Fail("CoCreateInstance", hr);

  hr = item->put_title(qx::BStr::FromUtf8(title).Get());
  if (FAILED(hr)) return Fail("put_title", hr);
  qx::BStr read;
  hr = item->get_title(read.Put());
  if (FAILED(hr)) return Fail("get_title", hr);

  std::printf("title=%s\n", read.Utf8().c_str());
  return 0;
}
