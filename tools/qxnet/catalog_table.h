// The catalog's items as rows (sorted by date, with their status), printed
// as a table or as JSON.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include <nlohmann/json.hpp>

#include "qxnet/qxnetlib.h"

namespace qxcli {

struct ItemRow {
  std::string guid, title, link, category, status;
  DATE pub_date = 0;
  bool required = false;
};

// Calls `visit` with each item of a collection, in its order, until it
// answers false. Throws CallFailed.
void ForEachItem(IUpdateItems* items, const std::function<bool(IUpdateItem*)>& visit);

// Calls `visit` with the row of each item of a collection, in its order,
// one row at a time: a listing of a large catalog never holds a copy of
// every item's text. Throws CallFailed.
void ForEachRow(IUpdateItems* items, const std::function<void(const ItemRow&)>& visit);

// Prints the collection as a table. Throws CallFailed.
void PrintTable(std::FILE* out, IUpdateItems* items);

// Prints `document` as PrintJson does, with the collection's rows as its
// "items" array; the rows are written one at a time. Throws CallFailed.
void PrintJsonWithItems(nlohmann::json document, IUpdateItems* items);

}  // namespace qxcli
