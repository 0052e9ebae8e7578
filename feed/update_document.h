// UpdateDocument: an RSS update feed in memory, a list of channels with their
// items, read from a feed file (Parse) and written back to one (Save).
#pragma once

#include <string_view>

#include "feed/feed_status.h"
#include "qxnet/com_ptr.h"
#include "qxnet/qxnetlib.h"
#include "server/object_frame/dispatch_object.h"

namespace qx {

class CUpdateDocument final : public DispatchObject<CUpdateDocument, IUpdateDocument> {
 public:
  static constexpr const CLSID& kClsid = CLSID_UpdateDocument;

  CUpdateDocument() = default;

  // IUpdateDocument
  HRESULT STDMETHODCALLTYPE get_channels(IUpdateChannels** pVal) override;
  // Adds the channels of a feed file to the document; what was read before
  // a failure stays.
  HRESULT STDMETHODCALLTYPE Parse(BSTR fileName) override;
  // Writes the whole document to the file, replacing it atomically: a failed
  // save leaves the old file as it was.
  HRESULT STDMETHODCALLTYPE Save(BSTR fileName) override;

 private:
  HRESULT ParseFile(std::u16string_view fileName);
  HRESULT SaveFile(std::u16string_view fileName);
  // Runs ParseFile or SaveFile at the public boundary: a DOM failure is
  // reported with its own text (a general one when it has none) and code.
  using FileStep = HRESULT (CUpdateDocument::*)(std::u16string_view fileName);
  HRESULT RunFileStep(FileStep step, std::u16string_view fileName);
  // Reports a failed step with its message, or passes the code on when the
  // failing object reported it already.
  HRESULT Report(const feed::FeedStatus& status);

  // Created on first use.
  ComPtr<IUpdateChannels> channels_;
};

}  // namespace qx
