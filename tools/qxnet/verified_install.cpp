#include "tools/qxnet/verified_install.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "qxnet/bstr.h"
#include "tools/qxnet/com_call.h"
#include "tools/qxnet/object_creation.h"
#include "tools/qxnet/transfer.h"

namespace qxcli {

namespace {

// Removes the temporary download on every path but the successful one.
class TemporaryDownload {
 public:
  explicit TemporaryDownload(const std::string& folder) {
    path_ = folder + "/.qxnet-download-XXXXXX";
    const int fd = mkstemp(path_.data());
    if (fd < 0) throw UsageError("Unable to create a file in the download folder " + folder);
    close(fd);
  }
  ~TemporaryDownload() {
    if (!path_.empty()) std::remove(path_.c_str());
  }
  TemporaryDownload(const TemporaryDownload&) = delete;
  TemporaryDownload& operator=(const TemporaryDownload&) = delete;

  const std::string& Path() const { return path_; }
  // Gives the file its final name; it is no longer removed.
  void Keep(const std::string& destination) {
    std::error_code error;
    std::filesystem::rename(path_, destination, error);
    if (error)
      throw std::runtime_error("Unable to name the download " + destination + ": " +
                               error.message());
    path_.clear();
  }

 private:
  std::string path_;
};

}  // namespace

std::string FileNameOfLink(const std::string& link) {
  std::string name = link.substr(0, link.find_first_of("?#"));
  name = name.substr(name.find_last_of('/') + 1);
  if (name.empty() || name == "." || name == "..") return "update.bin";
  return name;
}

VerifiedDownload DownloadVerified(UpdateSession& session, const std::string& guid,
                                  const std::string& folder, const std::string& public_key,
                                  ProgressDisplay& display) {
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    throw UsageError("No download folder at " + folder);
  }
  qx::ComPtr<IUpdateItem> item = session.FindItem(guid);
  auto item2 = qx::QueryAs<IUpdateItem2>(item.Get());
  if (!item2) throw CallFailed(E_NOINTERFACE, "The item does not describe a payload");
  qx::BStr url;
  Call("enclosureUrl", [&] { return item2->get_enclosureUrl(url.Put()); });
  VerifiedDownload result;
  result.url = url.Utf8();
  if (result.url.empty()) {
    throw CallFailed(E_FAIL, "The item " + guid + " has no enclosure to download");
  }

  TemporaryDownload download(folder);
  auto net = Create<_QXNet>("QXNet.QXNet");
  RetrieveWithProgress(net.Get(), result.url, download.Path(), display);

  auto verifier = Create<IUpdateVerifier>("QXNet.UpdateVerifier");
  if (!public_key.empty()) {
    qx::BStr key = qx::BStr::FromUtf8(public_key);
    Call("Setting the public key", [&] { return verifier->put_publicKey(key.Get()); });
  }
  qx::BStr file = qx::BStr::FromUtf8(download.Path());
  ClearErrorRecord();
  const HRESULT hr = verifier->Verify(item.Get(), file.Get());
  if (FAILED(hr)) {
    const std::string why = TakeErrorDescription();
    throw CallFailed(
        hr, "The download of " + guid + " was refused: " + (why.empty() ? HresultText(hr) : why));
  }
  result.file = folder + "/" + FileNameOfLink(result.url);
  download.Keep(result.file);
  return result;
}

VerifiedDownload InstallVerified(UpdateSession& session, const std::string& guid,
                                 const std::string& folder, ProgressDisplay& display) {
  VerifiedDownload download = DownloadVerified(session, guid, folder, "", display);
  session.MoveItems(Move::Install, {guid});
  return download;
}

}  // namespace qxcli
