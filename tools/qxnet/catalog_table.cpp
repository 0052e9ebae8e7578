#include "tools/qxnet/catalog_table.h"

#include <algorithm>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/variant_text.h"

namespace qxcli {

namespace {

std::string ReadText(IUpdateItem* item, HRESULT (STDMETHODCALLTYPE IUpdateItem::*getter)(BSTR*),
                     const char* what) {
  qx::BStr value;
  Call(what, [&] { return (item->*getter)(value.Put()); });
  return value.Utf8();
}

}  // namespace

void ForEachItem(IUpdateItems* items, const std::function<bool(IUpdateItem*)>& visit) {
  LONG count = 0;
  Call("Count", [&] { return items->get_Count(&count); });
  for (LONG i = 0; i < count; ++i) {
    qx::ComPtr<IUpdateItem> item;
    Call("Item", [&] { return items->Item(i, item.Put()); });
    if (!visit(item.Get())) return;
  }
}

void ForEachRow(IUpdateItems* items, const std::function<void(const ItemRow&)>& visit) {
  ItemRow row;
  ForEachItem(items, [&](IUpdateItem* item) {
    row.guid = ReadText(item, &IUpdateItem::get_guid, "guid");
    row.title = ReadText(item, &IUpdateItem::get_title, "title");
    row.link = ReadText(item, &IUpdateItem::get_link, "link");
    row.category = ReadText(item, &IUpdateItem::get_category, "category");
    row.status = ReadText(item, &IUpdateItem::get_status, "status");
    Call("pubDate", [&] { return item->get_pubDate(&row.pub_date); });
    VARIANT_BOOL required = VARIANT_FALSE;
    Call("required", [&] { return item->get_required(&required); });
    row.required = required == VARIANT_TRUE;
    visit(row);
    return true;
  });
}

void PrintTable(std::FILE* out, IUpdateItems* items) {
  LONG count = 0;
  Call("Count", [&] { return items->get_Count(&count); });
  if (count <= 0) {
    std::fprintf(out, "(the catalog holds no items)\n");
    return;
  }
  // The guid column is as wide as the longest guid (up to 40): one pass
  // over the guids, then one that prints.
  size_t guid_width = 4;
  ForEachItem(items, [&](IUpdateItem* item) {
    guid_width = std::max(guid_width, ReadText(item, &IUpdateItem::get_guid, "guid").size());
    return guid_width < 40;
  });
  guid_width = std::min<size_t>(guid_width, 40);
  std::fprintf(out, "%-19s  %-9s  %-3s  %-*s  %s\n", "DATE", "STATUS", "REQ",
               static_cast<int>(guid_width), "GUID", "TITLE");
  ForEachRow(items, [&](const ItemRow& row) {
    std::fprintf(out, "%-19s  %-9s  %-3s  %-*s  %s\n", DateText(row.pub_date).c_str(),
                 row.status.empty() ? "-" : row.status.c_str(), row.required ? "yes" : "",
                 static_cast<int>(guid_width), row.guid.c_str(), row.title.c_str());
  });
}

void PrintJsonWithItems(nlohmann::json document, IUpdateItems* items) {
  constexpr auto kReplace = nlohmann::json::error_handler_t::replace;
  // The rest of the document is printed around a marker that holds the
  // place of the array, so that a large catalog is never held as JSON. The
  // marker is looked for as the value of the top-level member, which no
  // other text of the document can be.
  document["items"] = "\u0001";
  const std::string text = document.dump(2, ' ', false, kReplace);
  const std::string member = "\n  \"items\": ";
  const std::string placeholder = "\"\\u0001\"";
  const size_t at = text.find(member + placeholder) + member.size();
  std::fwrite(text.data(), 1, at, stdout);
  std::fputc('[', stdout);
  bool first = true;
  ForEachRow(items, [&](const ItemRow& row) {
    const nlohmann::json item = {{"guid", row.guid},
                                 {"title", row.title},
                                 {"link", row.link},
                                 {"category", row.category},
                                 {"pubDate", DateJsonText(row.pub_date)},
                                 {"status", row.status},
                                 {"required", row.required}};
    // Indented as an element of an array in a top-level member.
    std::string element = item.dump(2, ' ', false, kReplace);
    for (size_t i = element.find('\n'); i != std::string::npos; i = element.find('\n', i + 5))
      element.replace(i, 1, "\n    ");
    std::fputs(first ? "\n    " : ",\n    ", stdout);
    std::fwrite(element.data(), 1, element.size(), stdout);
    first = false;
  });
  if (!first) std::fputs("\n  ", stdout);
  std::fputc(']', stdout);
  const size_t after = at + placeholder.size();
  std::fwrite(text.data() + after, 1, text.size() - after, stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

}  // namespace qxcli
