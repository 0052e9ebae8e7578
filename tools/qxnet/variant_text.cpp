#include "tools/qxnet/variant_text.h"

#include <strings.h>

#include <cstdio>
#include <ctime>

#include "qxnet/bstr.h"
#include "qxnet/text.h"

namespace qxcli {

namespace {

std::optional<bool> ParseBool(const std::string& text) {
  for (const char* yes : {"true", "yes", "on", "-1"})
    if (strcasecmp(text.c_str(), yes) == 0) return true;
  for (const char* no : {"false", "no", "off", "0"})
    if (strcasecmp(text.c_str(), no) == 0) return false;
  return std::nullopt;
}

// The value a by-reference variant points to, as a plain variant.
const VARIANT* Dereferenced(const VARIANT& value, qx::Variant& storage) {
  if (!(value.vt & VT_BYREF)) return &value;
  if (value.vt == (VT_BYREF | VT_VARIANT)) return value.pvarVal;
  VARIANT copy;
  copy.vt = static_cast<VARTYPE>(value.vt & ~VT_BYREF);
  switch (copy.vt) {
    case VT_BSTR:
      copy.bstrVal = *value.pbstrVal;
      break;
    case VT_BOOL:
      copy.boolVal = *value.pboolVal;
      break;
    case VT_I4:
      copy.lVal = *value.plVal;
      break;
    case VT_DATE:
      copy.date = *value.pdate;
      break;
    case VT_R8:
      copy.dblVal = *value.pdblVal;
      break;
    default:
      return &value;
  }
  VariantCopy(storage.Put(), &copy);
  return &storage;
}

std::vector<const VARIANT*> ArrayElements(const VARIANT& value, std::vector<qx::Variant>& storage) {
  std::vector<const VARIANT*> list;
  LONG lower = 0, upper = -1;
  if (!value.parray || FAILED(SafeArrayGetLBound(value.parray, 1, &lower)) ||
      FAILED(SafeArrayGetUBound(value.parray, 1, &upper)))
    return list;
  const VARTYPE element_type = static_cast<VARTYPE>(value.vt & ~VT_ARRAY);
  storage.reserve(static_cast<size_t>(int64_t{upper} - lower + 1));
  for (LONG i = lower; i <= upper; ++i) {
    storage.emplace_back();
    qx::Variant& element = storage.back();
    if (element_type == VT_VARIANT) {
      if (FAILED(SafeArrayGetElement(value.parray, &i, element.Put()))) continue;
    } else if (element_type == VT_BSTR) {
      BSTR text = nullptr;
      if (FAILED(SafeArrayGetElement(value.parray, &i, &text))) continue;
      element = qx::Variant::OwnBstr(text);
    } else {
      continue;
    }
    list.push_back(&element);
  }
  return list;
}

}  // namespace

std::optional<DATE> ParseDateText(const std::string& text) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  char separator = ' ';
  int used = 0;
  // NOLINTNEXTLINE(cert-err34-c): the field widths keep every number in range
  const int fields = std::sscanf(text.c_str(), "%4d-%2d-%2d%n%c%2d:%2d:%2d", &year, &month, &day,
                                 &used, &separator, &hour, &minute, &second);
  if (fields < 3) return std::nullopt;
  if (fields == 3 && static_cast<size_t>(used) != text.size()) return std::nullopt;
  if (fields > 3 && separator != ' ' && separator != 'T') return std::nullopt;
  if (fields == 4 || fields == 5) return std::nullopt;  // a separator without a time
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 59)
    return std::nullopt;
  DATE date = 0;
  if (!SystemTimeToVariantTime(&time, &date)) return std::nullopt;
  return date;
}

std::string DateText(DATE date) {
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(date, &time)) return {};
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond);
  return text;
}

std::string DateJsonText(DATE date) {
  SYSTEMTIME time{};
  if (!VariantTimeToSystemTime(date, &time)) return {};
  // The date is local wall-clock time; the offset is the one in force then
  // (mktime decides summer time from the zone's rules).
  struct tm local {};
  local.tm_year = time.wYear - 1900;
  local.tm_mon = time.wMonth - 1;
  local.tm_mday = time.wDay;
  local.tm_hour = time.wHour;
  local.tm_min = time.wMinute;
  local.tm_sec = time.wSecond;
  local.tm_isdst = -1;
  long offset = 0;
  if (mktime(&local) != static_cast<time_t>(-1)) offset = local.tm_gmtoff;
  const char sign = offset < 0 ? '-' : '+';
  const long minutes = (offset < 0 ? -offset : offset) / 60;
  char text[64];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u%c%02ld:%02ld", time.wYear,
                time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond, sign, minutes / 60,
                minutes % 60);
  return text;
}

qx::Variant ArgumentFromText(const std::string& text, VARTYPE vt) {
  if (vt == VT_BOOL) {
    if (auto value = ParseBool(text)) return qx::Variant::Bool(*value);
  } else if (vt == VT_DATE) {
    if (auto value = ParseDateText(text)) {
      qx::Variant result;
      result.vt = VT_DATE;
      result.date = *value;
      return result;
    }
  }
  return qx::Variant::OwnBstr(qx::BStr::FromUtf8(text).Detach());
}

std::string VariantText(const VARIANT& input) {
  qx::Variant storage;
  const VARIANT& value = *Dereferenced(input, storage);
  if (value.vt & VT_ARRAY) {
    std::vector<qx::Variant> elements;
    std::string text;
    for (const VARIANT* element : ArrayElements(value, elements))
      text += (text.empty() ? "" : "\n") + VariantText(*element);
    return text;
  }
  switch (value.vt) {
    case VT_EMPTY:
      return "";
    case VT_NULL:
      return "null";
    case VT_BOOL:
      return value.boolVal == VARIANT_FALSE ? "false" : "true";
    case VT_DATE:
      return DateText(value.date);
    case VT_BSTR:
      return qx::BstrToUtf8(value.bstrVal);
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return value.punkVal ? "[object]" : "null";
    default: {
      qx::Variant text;
      if (SUCCEEDED(VariantChangeType(text.Put(), &value, 0, VT_BSTR)))
        return qx::BstrToUtf8(text.bstrVal);
      return "[vt " + std::to_string(value.vt) + "]";
    }
  }
}

nlohmann::json VariantJson(const VARIANT& input) {
  qx::Variant storage;
  const VARIANT& value = *Dereferenced(input, storage);
  if (value.vt & VT_ARRAY) {
    std::vector<qx::Variant> elements;
    nlohmann::json list = nlohmann::json::array();
    for (const VARIANT* element : ArrayElements(value, elements))
      list.push_back(VariantJson(*element));
    return list;
  }
  switch (value.vt) {
    case VT_EMPTY:
    case VT_NULL:
      return nullptr;
    case VT_BOOL:
      return value.boolVal != VARIANT_FALSE;
    case VT_I2:
      return value.iVal;
    case VT_I4:
    case VT_INT:
      return value.lVal;
    case VT_UI1:
      return value.bVal;
    case VT_I8:
      return value.llVal;
    case VT_R4:
      return value.fltVal;
    case VT_R8:
      return value.dblVal;
    case VT_DATE:
      return DateJsonText(value.date);
    case VT_BSTR:
      return qx::BstrToUtf8(value.bstrVal);
    case VT_DISPATCH:
    case VT_UNKNOWN:
      if (!value.punkVal) return nullptr;
      return "[object]";
    default:
      return VariantText(value);
  }
}

}  // namespace qxcli
