// Header lines into a ResponseHeaders block.
#include "net/internet_service/response_headers.h"

#include <strings.h>

#include <cstdlib>

namespace qx::inet {
namespace {

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

std::string TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return std::string(text);
}

// "HTTP/1.1 200 OK"
void ParseStatusLine(const std::string& line, ResponseHeaders& headers) {
  const size_t firstSpace = line.find(' ');
  headers.version = line.substr(0, firstSpace);
  headers.status = 0;
  headers.reason.clear();
  if (firstSpace == std::string::npos) return;
  const size_t secondSpace = line.find(' ', firstSpace + 1);
  headers.status = std::strtol(line.c_str() + firstSpace + 1, nullptr, 10);
  if (secondSpace != std::string::npos) headers.reason = line.substr(secondSpace + 1);
}

}  // namespace

const std::string* ResponseHeaders::Find(std::string_view name, size_t occurrence) const {
  for (const auto& [field, value] : fields) {
    if (field.size() == name.size() && strncasecmp(field.data(), name.data(), name.size()) == 0) {
      if (occurrence == 0) return &value;
      --occurrence;
    }
  }
  return nullptr;
}

HeaderLine AddHeaderLine(ResponseHeaders& block, std::string_view received) {
  const std::string line(TrimLineEnd(received));
  if (line.rfind("HTTP/", 0) == 0) {
    block = ResponseHeaders{};
    ParseStatusLine(line, block);
    block.raw = line + "\r\n";
    return HeaderLine::Status;
  }
  block.raw += line + "\r\n";
  if (line.empty()) return HeaderLine::End;
  if (line.front() == ' ' || line.front() == '\t') {
    // A folded continuation of the previous field.
    if (!block.fields.empty()) block.fields.back().second += " " + TrimBlanks(line);
    return HeaderLine::Field;
  }
  const size_t colon = line.find(':');
  if (colon != std::string::npos) {
    block.fields.emplace_back(TrimBlanks(std::string_view(line).substr(0, colon)),
                              TrimBlanks(std::string_view(line).substr(colon + 1)));
  }
  return HeaderLine::Field;
}

}  // namespace qx::inet
