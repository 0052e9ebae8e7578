#include "feed/update_document.h"

#include <sys/stat.h>

#include <memory>
#include <string>
#include <utility>

#include "feed/rss_reader.h"
#include "feed/rss_writer.h"
#include "feed/update_file_limit.h"
#include "feed/xml_dom/xml_document.h"
#include "qxnet/text.h"
#include "server/module/object_map.h"
#include "server/object_frame/create_object.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kInvalidFilename = u"Invalid filename";
constexpr std::u16string_view kNoDom = u"Failed to instantiate an XML DOM.";
constexpr std::u16string_view kChannelsNotCreated = u"Failed to create QXNet.UpdateChannels";
// Reported for a DOM failure that brings no text of its own.
constexpr std::u16string_view kDomFailed = u"The XML document could not be processed.";

// Whether a file (or anything else) of that name is present.
bool IsPresent(std::u16string_view fileName) {
  if (fileName.empty() || fileName.find(u'\0') != std::u16string_view::npos) return false;
  struct stat st {};
  return stat(Utf16ToUtf8(fileName).c_str(), &st) == 0;
}

std::u16string LoadFailureMessage(const xml::ParseError& error) {
  return u"Failed to load file: " + error.reason + u": pos: " +
         Utf8ToUtf16(std::to_string(error.filepos));
}

// A fresh DOM document, or the code of its failed creation.
std::unique_ptr<xml::Document> NewDocument(HRESULT& hr) {
  try {
    hr = S_OK;
    return std::make_unique<xml::Document>();
  } catch (const xml::DomError& e) {
    hr = FAILED(e.hr) ? e.hr : E_FAIL;
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  return nullptr;
}

}  // namespace

HRESULT CUpdateDocument::Report(const feed::FeedStatus& status) {
  if (!status.Failed()) return S_OK;
  if (status.message.empty()) return status.hr;
  return Error(status.message, status.hr);
}

HRESULT CUpdateDocument::RunFileStep(FileStep step, std::u16string_view fileName) {
  return NoThrow([&] {
    try {
      return (this->*step)(fileName);
    } catch (const xml::DomError& e) {
      return Error(e.description.empty() ? kDomFailed : e.description,
                   FAILED(e.hr) ? e.hr : E_FAIL);
    }
  });
}

HRESULT CUpdateDocument::get_channels(IUpdateChannels** pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = nullptr;
  if (!channels_) {
    ComPtr<IUpdateChannels> created;
    HRESULT hr = CreateByProgId(u"QXNet.UpdateChannels", created);
    if (FAILED(hr)) return Error(kChannelsNotCreated, hr);
    channels_ = std::move(created);
  }
  return channels_->QueryInterface(IID_IUpdateChannels, reinterpret_cast<void**>(pVal));
}

HRESULT CUpdateDocument::Parse(BSTR fileName) {
  const std::u16string_view name = BstrView(fileName);
  if (!IsPresent(name)) return Error(kInvalidFilename, E_FAIL);
  return RunFileStep(&CUpdateDocument::ParseFile, name);
}

HRESULT CUpdateDocument::ParseFile(std::u16string_view fileName) {
  HRESULT hr = S_OK;
  std::unique_ptr<xml::Document> document = NewDocument(hr);
  if (!document) return Error(kNoDom, hr);
  if (!document->load(fileName, feed::UpdateFileLimit()))
    return Error(LoadFailureMessage(document->parseError()), E_FAIL);

  feed::RssReader reader;
  feed::FeedStatus status = reader.FindChannels(*document);
  if (status.Failed()) return Report(status);
  ComPtr<IUpdateChannels> channels;
  hr = get_channels(channels.Put());
  if (FAILED(hr)) return hr;
  return Report(reader.ReadChannels(channels.Get()));
}

HRESULT CUpdateDocument::Save(BSTR fileName) {
  return RunFileStep(&CUpdateDocument::SaveFile, BstrView(fileName));
}

HRESULT CUpdateDocument::SaveFile(std::u16string_view fileName) {
  HRESULT hr = S_OK;
  std::unique_ptr<xml::Document> document = NewDocument(hr);
  if (!document) return Error(kNoDom, hr);

  feed::RssWriter writer(*document);
  writer.WriteRoot();
  ComPtr<IUpdateChannels> channels;
  hr = get_channels(channels.Put());
  if (FAILED(hr)) return hr;
  feed::FeedStatus status = writer.WriteChannels(channels.Get());
  if (status.Failed()) return Report(status);
  document->save(fileName);
  return S_OK;
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateDocument, qx::CUpdateDocument)
