#include "feed/xml_dom/dom_error.h"

#include <utility>

#include "qxnet/text.h"

namespace qx::xml {

DomError::DomError(std::u16string text, HRESULT code)
    : description(std::move(text)), hr(code), what_(Utf16ToUtf8(description)) {}

}  // namespace qx::xml
