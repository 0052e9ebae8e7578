// The catalog's items as rows (sorted by date, with their status), printed
// as a table or as JSON.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "qxnet/qxnetlib.h"

namespace qxcli {

struct ItemRow {
  std::string guid, title, link, category, status;
  DATE pub_date = 0;
  bool required = false;
};

// The rows of a collection, in its order. Throws CallFailed.
std::vector<ItemRow> ReadRows(IUpdateItems* items);

void PrintTable(std::FILE* out, const std::vector<ItemRow>& rows);
nlohmann::json RowsJson(const std::vector<ItemRow>& rows);

}  // namespace qxcli
