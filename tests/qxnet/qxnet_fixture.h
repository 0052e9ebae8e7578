// The fixture of the QXNet object tests: a recording event sink, a loopback
// HTTP server whose /doc and upload answers the test changes as it goes,
// readers of the cache folder and the trace log, and the registry switches
// the object reads.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "qxnet/bstr.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"
#include "tests/support/loopback_server.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_object.h"

namespace qxnettest {

using qxtest::FolderEntries;
using qxtest::ReadFile;
using qxtest::ScriptedAnswer;
using qxtest::ScriptedServer;
using qxtest::TakeErrorText;
using qxtest::WriteFile;

using Report = std::pair<std::string, long>;  // title, progress

// A __QXNetEvents sink that records every OnProgress and End, and answers
// `cancelAnswer` in the cancel flag at the first report whose title starts
// with `cancelAtTitle`.
class RecordingSink final : public qxtest::VtableOnlyObject<IDispatch> {
 public:
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
  void* Find(REFIID riid) override {
    return riid == DIID___QXNetEvents ? static_cast<IDispatch*>(this)
                                      : VtableOnlyObject::Find(riid);
  }
};

// What the server answers for /doc and uploads, and what it has seen.
struct ServerState {
  std::mutex mutex;
  int docStatus = 200;
  std::string lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";  // empty: no header
  int uploadStatus = 200;
  std::vector<std::string> methods;  // every /doc and POST request, "GET /doc", ...
  std::string uploadBody;            // the last POST body
  std::string uploadContentType;
  std::string uploadPath;  // decoded path of the last POST

  size_t RequestCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return methods.size();
  }
  // Changes one answer while the server runs.
  template <class T>
  void Set(T ServerState::*field, std::type_identity_t<T> value) {
    std::lock_guard<std::mutex> lock(mutex);
    this->*field = std::move(value);
  }
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
  // RetrieveFile into the cache, expected to succeed; the cache file's path.
  std::string Download(_QXNet* object, const std::string& url);
  std::string Url(const std::string& path) const { return server->Url(path); }

  std::string folder;  // this test's own folder
  std::string tmp;     // its TMPDIR
  std::shared_ptr<ServerState> state = std::make_shared<ServerState>();
  std::unique_ptr<qxtest::LoopbackServer> server;
  RecordingSink* sink = nullptr;  // owned; connected to every NewObject(sink)
  std::vector<std::pair<qx::ComPtr<IConnectionPoint>, DWORD>> advised;
};

// Installs the routes every test uses on `http`.
void AddTestRoutes(httplib::Server& http, std::atomic<bool>& stopping);

// The cache folder, and the regular files in it other than its index.
std::string CacheFolder();
std::vector<std::string> CacheFiles();
// Whether the internet cache holds an entry for `url`.
bool IsCached(const std::string& url);

// The trace log's entries without their date and time, CR LF turned back
// into line feeds.
std::vector<std::string> TraceEntries();
// Whether `lines` holds `line` exactly.
bool HasLine(const std::vector<std::string>& lines, const std::string& line);
// Whether some entry of `lines` starts with `prefix`.
bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix);

// "Use Internet Cache" under the machine's product key.
void SetUseInternetCache(DWORD type, const std::u16string& text);
// The user's off-line switch.
void SetGlobalOffline(bool offline);

}  // namespace qxnettest
