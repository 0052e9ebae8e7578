// HTTP dates as the internet service reads them (Last-Modified, Expires):
// a date that reads and has a FILETIME converts to a calendar time and back
// to the same FILETIME; any other date is refused without overflow.
#include <curl/curl.h>

#include <string>

#include "fuzz/harness.h"
#include "net/internet_service/internet_service.h"

using namespace qx::inet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (text.find('\0') != std::string::npos) return 0;  // a header line holds no NUL
  const time_t seconds = curl_getdate(text.c_str(), nullptr);
  if (seconds == static_cast<time_t>(-1)) return 0;
  FILETIME fileTime{};
  if (!UnixSecondsToFileTime(seconds, &fileTime)) return 0;
  SYSTEMTIME calendar{};
  FUZZ_REQUIRE(FileTimeToSystemTime(&fileTime, &calendar), text);
  FILETIME back{};
  FUZZ_REQUIRE(SystemTimeToFileTime(&calendar, &back), text);
  FUZZ_REQUIRE(FileTimeToInt64(back) == FileTimeToInt64(fileTime), text);
  return 0;
}
