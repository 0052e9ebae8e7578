// URL canonicalisation and cracking; the connected state.
#include <gtest/gtest.h>

#include <cstdlib>

#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"
#include "tests/support/registry_dump.h"

using namespace qx::inet;

namespace {

// The canonical form through the size protocol, or "!<error>" on failure.
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
  const std::pair<std::string, std::string> cases[] = {
      {"HTTP://Example.COM:80/a/./b/../c d?q=x y#frag", "http://example.com/a/c%20d?q=x%20y#frag"},
      {"https://H:443", "https://h/"},
      {"http://h:8080/x", "http://h:8080/x"},
      {"http://h/a.b/../../x", "http://h/x"},
      {"  http://h/feed.xml \t", "http://h/feed.xml"},
      {"http://h/a\\..\\b\\c", "http://h/b/c"},
      {"http://h/50%", "http://h/50%25"},
      {"http://h/%7e", "http://h/%7e"},
      {"http://h/\xC3\xBC<x>\"{|}^`", "http://h/%c3%bc%3cx%3e%22%7b%7c%7d%5e%60"},
      {"http://h/feed.xml?x=/../../etc", "http://h/feed.xml?x=/../../etc"},
      {"ftp://x/y", "ftp://x/y"},
      {"notaurl", "!" + std::to_string(ERROR_INTERNET_UNRECOGNIZED_SCHEME)},
      {"", "!" + std::to_string(ERROR_INTERNET_UNRECOGNIZED_SCHEME)},
      {"http://h:99999/", "!" + std::to_string(ERROR_INTERNET_INVALID_URL)},
      {"file:///tmp/a b", "file:///tmp/a%20b"},
      // A relative file path would be written as a host the reader refuses.
      {"file:0//x", "!" + std::to_string(ERROR_INTERNET_INVALID_URL)},
      // Escapes in a host are decoded before the host is read.
      {"8:/%7f", "!" + std::to_string(ERROR_INTERNET_INVALID_URL)},
      {"8:/%39", "8://0.0.0.9/"}};
  for (const auto& [url, canonical] : cases) {
    EXPECT_EQ(Canonical(url), canonical) << url;
    // The canonical form is its own canonical form.
    if (canonical.front() != '!') {
      EXPECT_EQ(Canonical(canonical), canonical) << url;
    }
  }
}

TEST(UrlTest, CrackGivesSchemeHostPortAndPathWithQuery) {
  const struct {
    std::string url;
    int scheme;
    INTERNET_PORT port;
    std::string host, path;
  } cases[] = {
      {"https://updates.example.com:8443/p/feed.xml?v=1#top", INTERNET_SCHEME_HTTPS, 8443,
       "updates.example.com", "/p/feed.xml?v=1"},
      {"http://h", INTERNET_SCHEME_HTTP, 80, "h", "/"},
      {"https://h/", INTERNET_SCHEME_HTTPS, 443, "h", "/"},
      {"ftp://files.example/x", INTERNET_SCHEME_FTP, 21, "files.example", "/x"},
      {"http://[::1]:81/v6", INTERNET_SCHEME_HTTP, 81, "[::1]", "/v6"},
      {"http://h/a%20b?x=/../../etc", INTERNET_SCHEME_HTTP, 80, "h", "/a%20b?x=/../../etc"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url);
    const std::u16string wide = qx::Utf8ToUtf16(c.url);
    // Lengths first, then into buffers, as the request pipeline does.
    URL_COMPONENTSW parts{};
    parts.dwStructSize = 60;
    parts.dwHostNameLength = parts.dwUrlPathLength = 1;
    ASSERT_TRUE(InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts));
    EXPECT_EQ(qx::Utf16ToUtf8(std::u16string_view(parts.lpszHostName, parts.dwHostNameLength)),
              c.host);
    std::u16string host(parts.dwHostNameLength + 1, u'\0'), path(parts.dwUrlPathLength + 1, u'\0');
    parts = URL_COMPONENTSW{};
    parts.dwStructSize = 60;
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = static_cast<DWORD>(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = static_cast<DWORD>(path.size());
    ASSERT_TRUE(InternetCrackUrlW(wide.c_str(), static_cast<DWORD>(wide.size()), 0, &parts));
    EXPECT_EQ(parts.nScheme, c.scheme);
    if (c.scheme != INTERNET_SCHEME_FTP) {
      EXPECT_EQ(parts.nPort, c.port);
    }
    EXPECT_EQ(qx::Utf16ToUtf8(host.c_str()), c.host);
    EXPECT_EQ(qx::Utf16ToUtf8(path.c_str()), c.path);
  }
  URL_COMPONENTSW parts{};
  parts.dwHostNameLength = 1;
  EXPECT_FALSE(InternetCrackUrlW(u"no url at all", 0, 0, &parts));
  char16_t small[3];
  parts = URL_COMPONENTSW{};
  parts.lpszHostName = small;
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

TEST(ConnectedStateTest, UserOfflineSwitchAndForcedAttempts) {
  EXPECT_EQ(ConnectedState(), INTERNET_STATE_CONNECTED);
  for (const DWORD offline : {1u, 0u}) {
    qxtest::WriteRegistryValue(HKEY_CURRENT_USER,
                               u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                               u"GlobalUserOffline", REG_DWORD, &offline, sizeof offline);
    const DWORD state = ConnectedState();
    EXPECT_EQ(offline ? state & INTERNET_STATE_DISCONNECTED_BY_USER : state,
              offline ? INTERNET_STATE_DISCONNECTED_BY_USER : INTERNET_STATE_CONNECTED);
  }
  DWORD small = 0;
  DWORD tooShort = 2;
  EXPECT_FALSE(InternetQueryOptionW(nullptr, INTERNET_OPTION_CONNECTED_STATE, &small, &tooShort));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);

  setenv("QXNET_ONLINE", "0", 1);
  EXPECT_EQ(InternetAttemptConnect(0), ERROR_INTERNET_DISCONNECTED);
  setenv("QXNET_ONLINE", "1", 1);
  EXPECT_EQ(InternetAttemptConnect(0), 0u);
  unsetenv("QXNET_ONLINE");
}

}  // namespace
