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

std::vector<ItemRow> ReadRows(IUpdateItems* items) {
  LONG count = 0;
  Call("Count", [&] { return items->get_Count(&count); });
  std::vector<ItemRow> rows;
  rows.reserve(static_cast<size_t>(std::max<LONG>(count, 0)));
  for (LONG i = 0; i < count; ++i) {
    qx::ComPtr<IUpdateItem> item;
    Call("Item", [&] { return items->Item(i, item.Put()); });
    ItemRow row;
    row.guid = ReadText(item.Get(), &IUpdateItem::get_guid, "guid");
    row.title = ReadText(item.Get(), &IUpdateItem::get_title, "title");
    row.link = ReadText(item.Get(), &IUpdateItem::get_link, "link");
    row.category = ReadText(item.Get(), &IUpdateItem::get_category, "category");
    row.status = ReadText(item.Get(), &IUpdateItem::get_status, "status");
    Call("pubDate", [&] { return item->get_pubDate(&row.pub_date); });
    VARIANT_BOOL required = VARIANT_FALSE;
    Call("required", [&] { return item->get_required(&required); });
    row.required = required == VARIANT_TRUE;
    rows.push_back(std::move(row));
  }
  return rows;
}

void PrintTable(std::FILE* out, const std::vector<ItemRow>& rows) {
  if (rows.empty()) {
    std::fprintf(out, "(the catalog holds no items)\n");
    return;
  }
  size_t guid_width = 4;
  for (const ItemRow& row : rows) guid_width = std::max(guid_width, row.guid.size());
  guid_width = std::min<size_t>(guid_width, 40);
  std::fprintf(out, "%-19s  %-9s  %-3s  %-*s  %s\n", "DATE", "STATUS", "REQ",
               static_cast<int>(guid_width), "GUID", "TITLE");
  for (const ItemRow& row : rows) {
    std::fprintf(out, "%-19s  %-9s  %-3s  %-*s  %s\n", DateText(row.pub_date).c_str(),
                 row.status.empty() ? "-" : row.status.c_str(), row.required ? "yes" : "",
                 static_cast<int>(guid_width), row.guid.c_str(), row.title.c_str());
  }
}

nlohmann::json RowsJson(const std::vector<ItemRow>& rows) {
  nlohmann::json list = nlohmann::json::array();
  for (const ItemRow& row : rows) {
    list.push_back({{"guid", row.guid},
                    {"title", row.title},
                    {"link", row.link},
                    {"category", row.category},
                    {"pubDate", DateJsonText(row.pub_date)},
                    {"status", row.status},
                    {"required", row.required}});
  }
  return list;
}

}  // namespace qxcli
