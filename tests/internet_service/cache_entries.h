// Cache entries made as a download makes them: a new file of the cache,
// written, then committed as the URL's entry.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"

namespace inettest {

using namespace qx::inet;

// A new cache file for `url` holding `content`; its path.
inline std::string NewCacheFile(const std::string& url, const std::string& content,
                                const char16_t* extension = u"bin") {
  char16_t path[MAX_PATH + 1] = {};
  EXPECT_TRUE(CreateUrlCacheEntryW(qx::Utf8ToUtf16(url).c_str(), 0, extension, path, 0))
      << GetLastError();
  const std::string file = qx::Utf16ToUtf8(path);
  std::ofstream(file, std::ios::binary) << content;
  return file;
}

inline bool CommitCacheFile(const std::string& url, const std::string& file,
                            int64_t modified = 1000) {
  const FILETIME time = FileTimeFromInt64(modified);
  return CommitUrlCacheEntryW(qx::Utf8ToUtf16(url).c_str(), qx::Utf8ToUtf16(file).c_str(), time,
                              time, NORMAL_CACHE_ENTRY, nullptr, 0, nullptr, nullptr) == TRUE;
}

inline std::string CommitNew(const std::string& url, const std::string& content,
                             const char16_t* extension = u"bin") {
  const std::string file = NewCacheFile(url, content, extension);
  EXPECT_TRUE(CommitCacheFile(url, file)) << url;
  return file;
}

inline const INTERNET_CACHE_ENTRY_INFOW& Entry(const std::vector<char>& buffer) {
  return *reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
}

// The entry's record, without locking it.
inline std::vector<char> CacheEntryInfo(const std::string& url) {
  DWORD size = 4096;
  std::vector<char> buffer(size);
  EXPECT_TRUE(GetUrlCacheEntryInfoExW(qx::Utf8ToUtf16(url).c_str(),
                                      reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(buffer.data()),
                                      &size, nullptr, nullptr, nullptr, 0))
      << url;
  return buffer;
}

}  // namespace inettest
