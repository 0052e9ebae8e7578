// Item fragments: a fragment that an item accepts is written back as a
// fragment that another item accepts and writes identically. The form
// writes values verbatim, so this holds for values without markup ('<');
// for the others only safety is checked.
#include "fuzz/harness.h"
#include "qxnet/bstr.h"
#include "qxnet/text.h"

namespace {

// Reads `fragment` into a new item and writes it out again; false when the
// item refused the fragment.
bool ReadAndWrite(const std::u16string& fragment, std::u16string& written, bool& markup) {
  auto item = qxfuzz::Create<IUpdateItem>(CLSID_UpdateItem);
  qx::BStr text(fragment);
  if (item->UnMarshallObject(text.Get()) != S_OK) return false;
  qx::BStr out;
  FUZZ_REQUIRE(item->MarshallObject(out.Put()) == S_OK, "an item that read a fragment writes one");
  written = out.Text();
  using Getter = HRESULT (STDMETHODCALLTYPE IUpdateItem::*)(BSTR*);
  markup = false;
  for (Getter get : {&IUpdateItem::get_title, &IUpdateItem::get_link, &IUpdateItem::get_description,
                     &IUpdateItem::get_guid, &IUpdateItem::get_category}) {
    qx::BStr value;
    (item.Get()->*get)(value.Put());
    markup = markup || value.View().find(u'<') != std::u16string_view::npos;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::u16string input = qxfuzz::InputText(data, size);
  std::u16string first;
  bool markup = false;
  if (!ReadAndWrite(input, first, markup)) return 0;
  std::u16string second;
  bool markupAgain = false;
  FUZZ_REQUIRE(ReadAndWrite(first, second, markupAgain), qx::Utf16ToUtf8(first));
  if (markup) return 0;
  FUZZ_REQUIRE(first == second, qx::Utf16ToUtf8(first) + "\n--\n" + qx::Utf16ToUtf8(second));
  return 0;
}
