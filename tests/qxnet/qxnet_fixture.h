// Shared pieces of the QXNet object tests: a recording event sink, a
// fixture with a loopback HTTP server, and readers of the cache folder and
// the trace log.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "tests/internet_service/loopback_server.h"
#include "tests/support/com_test.h"

namespace qxnettest {

using Report = std::pair<std::string, long>;  // title, progress

// A __QXNetEvents sink that records every OnProgress and End, and answers
// `cancelAnswer` in the cancel flag at the first report whose title starts
// with `cancelAtTitle`.
class RecordingSink final : public IDispatch {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*,
                                   EXCEPINFO*, UINT*) override;

  std::vector<Report> reports;
  int ends = 0;
  std::string cancelAtTitle;
  VARIANT_BOOL cancelAnswer = VARIANT_TRUE;
  // Throws a C++ exception of its own at the first report whose title
  // starts with this, as a faulty in-process sink may.
  std::string throwAtTitle;

 private:
  ULONG refs_ = 1;
};

class QXNetTest : public qxtest::ComTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A new object with `sink` connected (when given).
  qx::ComPtr<_QXNet> NewObject(RecordingSink* sink = nullptr);
  // RetrieveFile; on success `path` holds what fileName came back with.
  HRESULT Retrieve(_QXNet* object, const std::string& url, std::string& path,
                   const std::string& destination = std::string());
  std::string Url(const std::string& path) const { return server->Url(path); }

  std::unique_ptr<inettest::LoopbackServer> server;
  RecordingSink* sink = nullptr;  // owned; connected to every NewObject
  std::vector<std::pair<qx::ComPtr<IConnectionPoint>, DWORD>> advised;
};

// Installs the routes every test uses on `http`.
void AddTestRoutes(httplib::Server& http, std::atomic<bool>& stopping);

// The cache folder, and the regular files in it other than its index.
std::string CacheFolder();
std::vector<std::string> CacheFiles();
// The whole content of a file ("" when it cannot be read).
std::string ReadFile(const std::string& path);
// Whether the internet cache holds an entry for `url`.
bool IsCached(const std::string& url);

// The trace log's entries without their date and time, CR LF turned back
// into line feeds; the raw bytes in `raw` when asked for.
std::vector<std::string> TraceEntries(std::string* raw = nullptr);
std::string TraceLogPath();

}  // namespace qxnettest
