// URL canonicalisation and cracking; the connected state.
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/internet_service/internet_service.h"
#include "platform/com/text.h"

using namespace qx::inet;

namespace {

// The canonical form, or "!<error>" when canonicalisation fails.
std::string Canonical(const std::string& url) {
  const std::u16string wide = qx::Utf8ToUtf16(url);
  char16_t probe[10];
  DWORD length = 10;
  if (InternetCanonicalizeUrlW(wide.c_str(), probe, &length, 0)) return qx::Utf16ToUtf8(probe);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    EXPECT_EQ(length, 0u);
    return "!" + std::to_string(GetLastError());
  }
  std::u16string buffer(length + 1, u'\0');
  DWORD size = length + 1;
  EXPECT_TRUE(InternetCanonicalizeUrlW(wide.c_str(), buffer.data(), &size, 0));
  EXPECT_EQ(size + 1, length);  // needed count includes the terminator
  return qx::Utf16ToUtf8(std::u16string_view(buffer.data(), size));
}

TEST(UrlTest, CanonicalForms) {
  EXPECT_EQ(Canonical("HTTP://Example.COM:80/a/./b/../c d?q=x y#frag"),
            "http://example.com/a/c%20d?q=x%20y#frag");
  EXPECT_EQ(Canonical("https://H:443"), "https://h/");
  EXPECT_EQ(Canonical("http://h:8080/x"), "http://h:8080/x");
  EXPECT_EQ(Canonical("http://h/a.b/../../x"), "http://h/x");
  EXPECT_EQ(Canonical("  http://h/feed.xml \t"), "http://h/feed.xml");
  EXPECT_EQ(Canonical("http://h/a\\..\\b\\c"), "http://h/b/c");
  EXPECT_EQ(Canonical("http://h/50%"), "http://h/50%25");
  EXPECT_EQ(Canonical("http://h/%7e"), "http://h/%7e");
  EXPECT_EQ(Canonical("http://h/\xC3\xBC<x>\"{|}^`"), "http://h/%c3%bc%3cx%3e%22%7b%7c%7d%5e%60");
  EXPECT_EQ(Canonical("http://h/feed.xml?x=/../../etc"), "http://h/feed.xml?x=/../../etc");
  EXPECT_EQ(Canonical("ftp://x/y"), "ftp://x/y");
  EXPECT_EQ(Canonical("notaurl"), "!" + std::to_string(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
  EXPECT_EQ(Canonical("http://h:99999/"), "!" + std::to_string(ERROR_INTERNET_INVALID_URL));
  EXPECT_EQ(Canonical(""), "!" + std::to_string(ERROR_INTERNET_UNRECOGNIZED_SCHEME));
}

struct Cracked {
  int scheme = 0;
  INTERNET_PORT port = 0;
  std::string host, path;
};

// Cracks as the request pipeline does: lengths first, then into buffers.
Cracked Crack(const std::string& url) {
  const std::u16string wide = qx::Utf8ToUtf16(url);
  URL_COMPONENTSW parts{};
  parts.dwStructSize = 60;
  parts.dwHostNameLength = 1;
  parts.dwUrlPathLength = 1;
  EXPECT_TRUE(InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts)) << url;
  Cracked first;
  if (parts.lpszHostName) first.host = qx::Utf16ToUtf8(std::u16string_view(parts.lpszHostName, parts.dwHostNameLength));
  if (parts.lpszUrlPath) first.path = qx::Utf16ToUtf8(std::u16string_view(parts.lpszUrlPath, parts.dwUrlPathLength));

  std::u16string host(parts.dwHostNameLength + 1, u'\0');
  std::u16string path(parts.dwUrlPathLength + 1, u'\0');
  URL_COMPONENTSW second{};
  second.dwStructSize = 60;
  second.lpszHostName = host.data();
  second.dwHostNameLength = static_cast<DWORD>(host.size());
  second.lpszUrlPath = path.data();
  second.dwUrlPathLength = static_cast<DWORD>(path.size());
  EXPECT_TRUE(InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &second)) << url;
  Cracked result{second.nScheme, second.nPort, qx::Utf16ToUtf8(host.c_str()), qx::Utf16ToUtf8(path.c_str())};
  EXPECT_EQ(first.host, result.host);
  EXPECT_EQ(first.path, result.path);
  return result;
}

TEST(UrlTest, CrackGivesSchemeHostPortAndPathWithQuery) {
  Cracked https = Crack("https://updates.example.com:8443/p/feed.xml?v=1#top");
  EXPECT_EQ(https.scheme, INTERNET_SCHEME_HTTPS);
  EXPECT_EQ(https.host, "updates.example.com");
  EXPECT_EQ(https.port, 8443);
  EXPECT_EQ(https.path, "/p/feed.xml?v=1");

  Cracked http = Crack("http://h/");
  EXPECT_EQ(http.scheme, INTERNET_SCHEME_HTTP);
  EXPECT_EQ(http.port, 80);
  EXPECT_EQ(http.path, "/");

  EXPECT_EQ(Crack("http://h").path, "/");
  EXPECT_EQ(Crack("https://h/").port, 443);
  EXPECT_EQ(Crack("ftp://files.example/x").scheme, INTERNET_SCHEME_FTP);
  EXPECT_EQ(Crack("http://[::1]:81/v6").host, "[::1]");
  EXPECT_EQ(Crack("http://h/a%20b?x=/../../etc").path, "/a%20b?x=/../../etc");
}

TEST(UrlTest, CrackRefusesNonUrlsAndSmallBuffers) {
  URL_COMPONENTSW parts{};
  parts.dwHostNameLength = 1;
  EXPECT_FALSE(InternetCrackUrlW(u"no url at all", 0, 0, &parts));
  char16_t host[3];
  parts = URL_COMPONENTSW{};
  parts.lpszHostName = host;
  parts.dwHostNameLength = 3;
  EXPECT_FALSE(InternetCrackUrlW(u"http://longhost/", 0, 0, &parts));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

DWORD ConnectedState() {
  DWORD state = 0;
  DWORD size = sizeof state;
  EXPECT_TRUE(InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &state, &size));
  EXPECT_EQ(size, 4u);
  return state;
}

TEST(ConnectedStateTest, UserOfflineSwitchComesFromTheRegistry) {
  EXPECT_EQ(ConnectedState(), INTERNET_STATE_CONNECTED);
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                            u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", 0,
                            nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  DWORD offline = 1;
  ASSERT_EQ(RegSetValueExW(key, u"GlobalUserOffline", 0, REG_DWORD,
                           reinterpret_cast<const BYTE*>(&offline), sizeof offline),
            ERROR_SUCCESS);
  EXPECT_EQ(ConnectedState() & INTERNET_STATE_DISCONNECTED_BY_USER, INTERNET_STATE_DISCONNECTED_BY_USER);
  offline = 0;
  RegSetValueExW(key, u"GlobalUserOffline", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&offline),
                 sizeof offline);
  EXPECT_EQ(ConnectedState(), INTERNET_STATE_CONNECTED);
  RegCloseKey(key);

  DWORD small = 0;
  DWORD tooShort = 2;
  EXPECT_FALSE(InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &small, &tooShort));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

TEST(ConnectedStateTest, AttemptConnectCanBeForced) {
  setenv("QXNET_ONLINE", "0", 1);
  EXPECT_EQ(InternetAttemptConnect(0), ERROR_INTERNET_DISCONNECTED);
  setenv("QXNET_ONLINE", "1", 1);
  EXPECT_EQ(InternetAttemptConnect(0), 0u);
  unsetenv("QXNET_ONLINE");
}

TEST(FileTimeTest, SystemTimeRoundTripAndInvalidDates) {
  SYSTEMTIME time{2015, 10, 0, 21, 7, 28, 0, 250};
  FILETIME file{};
  ASSERT_TRUE(SystemTimeToFileTime(&time, &file));
  EXPECT_EQ(FileTimeToInt64(file), FileTimeToInt64(FileTimeFromUnixSeconds(1445412480)) + 2'500'000);
  SYSTEMTIME back{};
  ASSERT_TRUE(FileTimeToSystemTime(&file, &back));
  EXPECT_EQ(back.wDayOfWeek, 3);
  EXPECT_EQ(back.wMilliseconds, 250);
  SYSTEMTIME april31{2020, 4, 0, 31, 0, 0, 0, 0};
  EXPECT_FALSE(SystemTimeToFileTime(&april31, &file));
}

}  // namespace
