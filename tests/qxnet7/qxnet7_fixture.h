// Shared pieces of the tests of the QXNet cache, connectivity and upload
// members: a loopback server whose answers the test changes as it goes,
// and helpers for the registry, error records and files.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "tests/internet_service/loopback_server.h"
#include "tests/qxnet/qxnet_fixture.h"
#include "tests/support/com_test.h"

namespace qxnet7test {

using qxnettest::RecordingSink;
using qxnettest::TraceEntries;

// What the server answers for /doc and what it has seen.
struct ServerState {
  std::mutex mutex;
  int docStatus = 200;
  std::string lastModified = "Wed, 21 Oct 2015 07:28:00 GMT";  // empty: no header
  int uploadStatus = 200;
  std::vector<std::string> methods;      // every request, "GET /doc", "HEAD /doc", ...
  std::string uploadBody;                // the last POST body
  std::string uploadContentType;
  std::string uploadPath;                // decoded path of the last POST

  size_t RequestCount() {
    std::lock_guard<std::mutex> lock(mutex);
    return methods.size();
  }
};

class Qxnet7Test : public qxtest::ComTest {
 protected:
  void SetUp() override;
  void TearDown() override;

  qx::ComPtr<_QXNet> NewObject(bool withSink = false);
  std::string Url(const std::string& path) const { return server->Url(path); }
  // RetrieveFile into the cache; the cache file's path.
  std::string Download(_QXNet* object, const std::string& url);

  std::string folder;   // this test's own folder
  std::string tmp;      // its TMPDIR
  std::shared_ptr<ServerState> state = std::make_shared<ServerState>();
  std::unique_ptr<inettest::LoopbackServer> server;
  RecordingSink* sink = nullptr;

 private:
  std::vector<std::pair<qx::ComPtr<IConnectionPoint>, DWORD>> advised_;
};

// "Use Internet Cache" under the machine's product key.
void SetUseInternetCache(DWORD type, const std::u16string& text);
void SetUseInternetCacheDword(DWORD value);
// The user's off-line switch.
void SetGlobalOffline(bool offline);

// The thread's error record description, as UTF-8 ("" when none).
std::string ErrorDescription();

// Whether `lines` holds `line` exactly.
bool HasLine(const std::vector<std::string>& lines, const std::string& line);
// Whether some entry of `lines` starts with `prefix`.
bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& bytes);
// The names in `folder`.
std::vector<std::string> FolderEntries(const std::string& folder);

}  // namespace qxnet7test
