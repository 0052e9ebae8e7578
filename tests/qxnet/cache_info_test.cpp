// GetCacheInfo against a loopback server: copies that are current or not,
// HEAD answers without a time or with an error status, the registry
// switch, off line, a lost cache file, and the argument and URL checks.
#include <unistd.h>

#include "net/internet_service/internet_service.h"
#include "qxnet/bstr.h"
#include "qxnet/text.h"
#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/registry_dump.h"

namespace qxnettest {
namespace {

// Values the outputs hold on entry, to show which ones the call set.
constexpr VARIANT_BOOL kUntouchedFlag = 7;
const char kUntouchedName[] = "untouched";

struct CacheInfo {
  HRESULT hr = S_OK;
  VARIANT_BOOL exists = kUntouchedFlag;
  VARIANT_BOOL current = kUntouchedFlag;
  std::string name;
  std::string error;
};

CacheInfo Query(_QXNet* object, const std::string& url) {
  CacheInfo info;
  qxtest::ClearErrorRecord();
  qx::BStr urlText = qx::BStr::FromUtf8(url);
  BSTR name = qx::BStr::FromUtf8(kUntouchedName).Detach();
  info.hr = object->GetCacheInfo(urlText.Get(), 0, &info.exists, &info.current, &name);
  info.name = qx::BstrToUtf8(name);
  SysFreeString(name);
  if (FAILED(info.hr)) info.error = TakeErrorText();
  return info;
}

// Expects the outputs of a call (a macro, so that failures name the line of
// the call): its result, both flags and the name.
#define EXPECT_OUTPUTS(info, result, existsFlag, currentFlag, fileName) \
  EXPECT_EQ((info).hr, result) << (info).error;                         \
  EXPECT_EQ((info).exists, existsFlag);                                 \
  EXPECT_EQ((info).current, currentFlag);                               \
  EXPECT_EQ((info).name, fileName)

TEST_F(QXNetTest, NoCopyBeforeTheDownloadACurrentOneAfterNoneWithoutItsFile) {
  auto net = NewObject();
  CacheInfo before = Query(net.Get(), Url("/doc"));
  EXPECT_OUTPUTS(before, S_OK, 0, 0, kUntouchedName);
  EXPECT_EQ(state->RequestCount(), 0u);  // nothing to check on the server

  const std::string cached = Download(net.Get(), Url("/doc"));
  CacheInfo after = Query(net.Get(), Url("/doc"));
  EXPECT_OUTPUTS(after, S_OK, VARIANT_TRUE, VARIANT_TRUE, cached);
  EXPECT_EQ(ReadFile(after.name), "document body");
  EXPECT_EQ(state->methods.back(), "HEAD /doc");

  // One line for each step: the cache queries, the HEAD request, the call.
  const auto lines = TraceEntries();
  EXPECT_TRUE(HasLine(lines, "CQXNet::IsCacheCurrent return : true"));
  EXPECT_TRUE(HasLine(lines, "CQXNet::GetModifiedTime(" + Url("/doc") + ")"));
  EXPECT_TRUE(HasLine(lines,
                      "CQXNet::GetCacheInfo return:bCacheFileExists=true, "
                      "bCacheFileCurrent=true, cacheFileName='" +
                          cached + "'"));

  // An entry whose file is gone is deleted.
  ASSERT_EQ(::unlink(cached.c_str()), 0);
  CacheInfo gone = Query(net.Get(), Url("/doc"));
  EXPECT_OUTPUTS(gone, S_OK, 0, 0, kUntouchedName);
  EXPECT_FALSE(qxnettest::IsCached(Url("/doc")));
}

TEST_F(QXNetTest, CurrentWhenTheServersTimeIsNotLaterThanTheEntrys) {
  auto net = NewObject();
  const std::string cached = Download(net.Get(), Url("/doc"));
  // The copy was downloaded with the modification time 07:28:00.
  const std::pair<const char*, VARIANT_BOOL> cases[] = {
      {"Wed, 21 Oct 2015 07:27:59 GMT", VARIANT_TRUE},
      {"Wed, 21 Oct 2015 07:28:00 GMT", VARIANT_TRUE},
      {"Wed, 21 Oct 2015 07:28:01 GMT", VARIANT_FALSE}};
  for (const auto& [serverTime, current] : cases) {
    SCOPED_TRACE(serverTime);
    state->Set(&ServerState::lastModified, serverTime);
    CacheInfo info = Query(net.Get(), Url("/doc"));
    // A stale copy is still named, so the caller may use it.
    EXPECT_OUTPUTS(info, S_OK, VARIANT_TRUE, current, cached);
  }
}

TEST_F(QXNetTest, CurrencyCheckStampsTheEntrysSyncTime) {
  auto net = NewObject();
  Download(net.Get(), Url("/doc"));
  const std::u16string url = qx::Utf8ToUtf16(Url("/doc"));
  auto syncTime = [&] {
    DWORD size = 0;
    qx::inet::GetUrlCacheEntryInfoExW(url.c_str(), nullptr, &size, nullptr, nullptr, nullptr, 0);
    std::vector<std::max_align_t> buffer(size / sizeof(std::max_align_t) + 1);
    auto* entry = reinterpret_cast<qx::inet::INTERNET_CACHE_ENTRY_INFOW*>(buffer.data());
    EXPECT_TRUE(
        qx::inet::GetUrlCacheEntryInfoExW(url.c_str(), entry, &size, nullptr, nullptr, nullptr, 0));
    return qx::inet::FileTimeToInt64(entry->LastSyncTime);
  };
  const int64_t before = syncTime();
  const int64_t now = qx::inet::FileTimeToInt64(qx::inet::GetSystemTimeAsFileTime());
  ASSERT_EQ(Query(net.Get(), Url("/doc")).hr, S_OK);
  EXPECT_GE(syncTime(), now);
  EXPECT_GE(now, before);
}

// Off line: the copy is reported, nothing asked and no name given. An error
// status, then no server at all: not current, no error, the name set.
TEST_F(QXNetTest, NotCurrentWhenOffLineOrTheHeadRequestFails) {
  auto net = NewObject();
  const std::string cached = Download(net.Get(), Url("/doc"));
  const std::string url = Url("/doc");
  const size_t requests = state->RequestCount();
  setenv("QXNET_ONLINE", "0", 1);
  CacheInfo offLine = Query(net.Get(), url);
  EXPECT_OUTPUTS(offLine, S_OK, VARIANT_TRUE, 0, kUntouchedName);
  EXPECT_EQ(state->RequestCount(), requests);
  setenv("QXNET_ONLINE", "1", 1);
  state->Set(&ServerState::docStatus, 404);
  for (const char* step : {"404", "server gone"}) {
    SCOPED_TRACE(step);
    CacheInfo info = Query(net.Get(), url);
    EXPECT_OUTPUTS(info, S_OK, VARIANT_TRUE, 0, cached);
    server.reset();  // nobody listens on that port any more
  }
}

TEST_F(QXNetTest, ResponseWithoutLastModifiedFailsWithItsMessage) {
  auto net = NewObject();
  Download(net.Get(), Url("/doc"));
  state->Set(&ServerState::lastModified, "");
  CacheInfo info = Query(net.Get(), Url("/doc"));
  EXPECT_OUTPUTS(info, E_FAIL, VARIANT_TRUE, 0, kUntouchedName);
  const std::string prefix = "Unable to get modified time\n    " + Url("/doc") + "\n";
  EXPECT_EQ(info.error.rfind(prefix, 0), 0u) << info.error;
  EXPECT_GT(info.error.size(), prefix.size());  // the system's text follows
  EXPECT_TRUE(HasLine(TraceEntries(), "CQXNet::GetCacheInfo: " + info.error));
}

TEST_F(QXNetTest, RegistrySwitchesTheCacheOffOnlyWithFalse) {
  auto net = NewObject();
  Download(net.Get(), Url("/doc"));

  const std::pair<DWORD, const char16_t*> offs[] = {
      {REG_SZ, u"FALSE"}, {REG_EXPAND_SZ, u"fAlSe"}, {REG_MULTI_SZ, u"false"}};
  for (const auto& [type, text] : offs) {
    SCOPED_TRACE(type);
    SetUseInternetCache(type, text);
    CacheInfo off = Query(net.Get(), Url("/doc"));
    EXPECT_OUTPUTS(off, S_OK, kUntouchedFlag, kUntouchedFlag, kUntouchedName);
  }

  // Other texts, a value of another type, an over-long text and no value
  // at all leave the cache in use.
  for (const std::u16string text : {u"0", u"no", u"false ", u"true"}) {
    SetUseInternetCache(REG_SZ, text);
    EXPECT_EQ(Query(net.Get(), Url("/doc")).exists, VARIANT_TRUE) << qx::Utf16ToUtf8(text);
  }
  SetUseInternetCache(REG_SZ, u"false" + std::u16string(300, u' '));
  EXPECT_EQ(Query(net.Get(), Url("/doc")).exists, VARIANT_TRUE);
  const DWORD zero = 0;
  qxtest::WriteRegistryValue(HKEY_LOCAL_MACHINE, qxtest::kProductKey, u"Use Internet Cache",
                             REG_DWORD, &zero, sizeof zero);
  EXPECT_EQ(Query(net.Get(), Url("/doc")).exists, VARIANT_TRUE);
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, qxtest::kProductKey, 0, KEY_ALL_ACCESS, &key),
            ERROR_SUCCESS);
  RegDeleteValueW(key, u"Use Internet Cache");
  RegCloseKey(key);
  EXPECT_EQ(Query(net.Get(), Url("/doc")).exists, VARIANT_TRUE);
}

TEST_F(QXNetTest, NullPointersAndBadUrls) {
  auto net = NewObject();
  qx::BStr url = qx::BStr::FromUtf8(Url("/doc"));
  VARIANT_BOOL exists = kUntouchedFlag, current = kUntouchedFlag;
  BSTR name = nullptr;
  for (int missing = 0; missing < 3; ++missing) {
    qxtest::ClearErrorRecord();
    const HRESULT hr =
        net->GetCacheInfo(url.Get(), 0, missing == 0 ? nullptr : &exists,
                          missing == 1 ? nullptr : &current, missing == 2 ? nullptr : &name);
    EXPECT_EQ(hr, E_INVALIDARG);
    EXPECT_EQ(TakeErrorText(), "Invalid parameter");
  }
  EXPECT_EQ(exists, kUntouchedFlag);
  EXPECT_EQ(current, kUntouchedFlag);
  EXPECT_EQ(name, nullptr);

  // Which URLs are refused is the URL layer's rule; a refused one sets nothing.
  CacheInfo ftp = Query(net.Get(), "ftp://127.0.0.1/doc");
  EXPECT_OUTPUTS(ftp, E_FAIL, kUntouchedFlag, kUntouchedFlag, kUntouchedName);
  EXPECT_EQ(ftp.error, "Invalid URL.\n    ftp://127.0.0.1/doc");
}

}  // namespace
}  // namespace qxnettest
