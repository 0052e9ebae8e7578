// URL canonicalisation and cracking: the canonical form of a URL is its own
// canonical form, and it cracks into components.
#include "fuzz/harness.h"
#include "net/internet_service/internet_service.h"
#include "qxnet/text.h"

namespace {

using namespace qx::inet;

bool Canonical(const std::u16string& url, std::u16string& out) {
  DWORD length = 0;
  if (InternetCanonicalizeUrlW(url.c_str(), nullptr, &length, 0)) return false;
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  std::u16string buffer(length, u'\0');
  if (!InternetCanonicalizeUrlW(url.c_str(), buffer.data(), &length, 0)) {
    qxfuzz::Violated("the size asked for is enough", qx::Utf16ToUtf8(url));
  }
  out.assign(buffer.data(), length);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string url = qxfuzz::InputText(data, size);
  if (url.find(u'\0') != std::u16string::npos) return 0;  // not a C string
  std::u16string canonical;
  if (!Canonical(url, canonical)) return 0;
  std::u16string again;
  FUZZ_REQUIRE(Canonical(canonical, again),
               qx::Utf16ToUtf8(url) + " -> " + qx::Utf16ToUtf8(canonical));
  FUZZ_REQUIRE(again == canonical, qx::Utf16ToUtf8(canonical) + " -> " + qx::Utf16ToUtf8(again));

  char16_t scheme[64], host[2048], user[2048], password[2048], path[8192], extra[8192];
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.lpszScheme = scheme;
  parts.dwSchemeLength = std::size(scheme);
  parts.lpszHostName = host;
  parts.dwHostNameLength = std::size(host);
  parts.lpszUserName = user;
  parts.dwUserNameLength = std::size(user);
  parts.lpszPassword = password;
  parts.dwPasswordLength = std::size(password);
  parts.lpszUrlPath = path;
  parts.dwUrlPathLength = std::size(path);
  parts.lpszExtraInfo = extra;
  parts.dwExtraInfoLength = std::size(extra);
  const bool cracked = InternetCrackUrlW(canonical.c_str(), 0, 0, &parts);
  FUZZ_REQUIRE(cracked || GetLastError() == ERROR_INSUFFICIENT_BUFFER, qx::Utf16ToUtf8(canonical));
  return 0;
}
