#include "feed/update_item.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "feed/enclosure.h"
#include "feed/feed_date.h"
#include "qxnet/text.h"
#include "server/module/object_map.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";

// The text up to its first zero character: what the fragment carries.
std::u16string_view VisibleText(const BStr& value) {
  std::u16string_view text = value.View();
  size_t zero = text.find(u'\0');
  return zero == std::u16string_view::npos ? text : text.substr(0, zero);
}

// The value of the first `<name>` ... first `</name>` pair of the whole text,
// or nothing when either tag is missing or the closing one does not start
// after the opening one.
std::optional<std::u16string_view> FirstElementValue(std::u16string_view text,
                                                     std::u16string_view name) {
  std::u16string open = u"<" + std::u16string(name) + u">";
  std::u16string close = u"</" + std::u16string(name) + u">";
  size_t openAt = text.find(open);
  size_t closeAt = text.find(close);
  if (openAt == std::u16string_view::npos || closeAt == std::u16string_view::npos) {
    return std::nullopt;
  }
  if (closeAt <= openAt) return std::nullopt;
  size_t valueAt = openAt + open.size();
  if (closeAt < valueAt) return std::nullopt;  // "<x>" and "</x>" cannot overlap, kept for safety
  return text.substr(valueAt, closeAt - valueAt);
}

}  // namespace

CUpdateItem::CUpdateItem()
    : pubDate_(feed::CurrentLocalDate()), enclosureLength_(feed::kNoLength) {}

CUpdateItem::~CUpdateItem() = default;

void* CUpdateItem::QueryExtraInterface(REFIID riid) {
  if (riid == IID_IUpdateItem) return static_cast<IUpdateItem*>(static_cast<IUpdateItem2*>(this));
  return nullptr;
}

HRESULT CUpdateItem::InterfaceSupportsErrorInfo(REFIID riid) {
  return riid == IID_IUpdateItem || riid == IID_IUpdateItem2 ? S_OK : S_FALSE;
}

HRESULT CUpdateItem::GetText(const BStr& field, BSTR* out) const {
  if (!out) return Error(kInvalidParameter, E_POINTER);
  *out = field.Copy();
  if (!field.IsNull() && !*out) return E_OUTOFMEMORY;
  return S_OK;
}

HRESULT CUpdateItem::PutText(BStr& field, BSTR value) {
  // A copy with the argument's full length; a null argument stores empty text.
  BStr copy(BstrView(value));
  if (copy.IsNull()) return E_OUTOFMEMORY;
  field = std::move(copy);
  return S_OK;
}

HRESULT CUpdateItem::get_title(BSTR* pVal) { return GetText(title_, pVal); }
HRESULT CUpdateItem::put_title(BSTR newVal) { return PutText(title_, newVal); }
HRESULT CUpdateItem::get_link(BSTR* pVal) { return GetText(link_, pVal); }
HRESULT CUpdateItem::put_link(BSTR newVal) { return PutText(link_, newVal); }
HRESULT CUpdateItem::get_description(BSTR* pVal) { return GetText(description_, pVal); }
HRESULT CUpdateItem::put_description(BSTR newVal) { return PutText(description_, newVal); }
HRESULT CUpdateItem::get_guid(BSTR* pVal) { return GetText(guid_, pVal); }
HRESULT CUpdateItem::get_category(BSTR* pVal) { return GetText(category_, pVal); }
HRESULT CUpdateItem::put_category(BSTR newVal) { return PutText(category_, newVal); }

HRESULT CUpdateItem::get_enclosureUrl(BSTR* pVal) { return GetText(enclosureUrl_, pVal); }
HRESULT CUpdateItem::put_enclosureUrl(BSTR newVal) { return PutText(enclosureUrl_, newVal); }
HRESULT CUpdateItem::get_enclosureType(BSTR* pVal) { return GetText(enclosureType_, pVal); }
HRESULT CUpdateItem::put_enclosureType(BSTR newVal) { return PutText(enclosureType_, newVal); }
HRESULT CUpdateItem::get_sha256(BSTR* pVal) { return GetText(sha256_, pVal); }
HRESULT CUpdateItem::put_sha256(BSTR newVal) { return PutText(sha256_, newVal); }
HRESULT CUpdateItem::get_edSignature(BSTR* pVal) { return GetText(edSignature_, pVal); }
HRESULT CUpdateItem::put_edSignature(BSTR newVal) { return PutText(edSignature_, newVal); }

HRESULT CUpdateItem::get_enclosureLength(LONGLONG* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = enclosureLength_;
  return S_OK;
}

HRESULT CUpdateItem::put_enclosureLength(LONGLONG newVal) {
  enclosureLength_ = newVal < 0 ? feed::kNoLength : newVal;  // every negative means "none"
  return S_OK;
}

HRESULT CUpdateItem::put_guid(BSTR newVal) {
  BStr copy(BstrView(newVal));
  if (copy.IsNull()) return E_OUTOFMEMORY;
  ReplaceGuid(std::move(copy));
  return S_OK;
}

void CUpdateItem::ReplaceGuid(BStr guid) {
  BStr before = std::exchange(guid_, std::move(guid));
  // Collections holding this item keep their guid index in step.
  if (firstObserver_) firstObserver_->GuidChanged(before.View(), guid_.View());
  for (GuidObserver* observer : moreObservers_) observer->GuidChanged(before.View(), guid_.View());
}

HRESULT CUpdateItem::get_pubDate(DATE* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = pubDate_;
  return S_OK;
}

HRESULT CUpdateItem::put_pubDate(DATE newVal) {
  pubDate_ = newVal;
  return S_OK;
}

HRESULT CUpdateItem::get_status(BSTR* pVal) { return GetText(status_, pVal); }

HRESULT CUpdateItem::put_status(BSTR newVal) {
  // Free text taken up to its first zero character; null makes it absent.
  if (!newVal) {
    status_ = BStr();
    return S_OK;
  }
  BStr copy(WideView(newVal));
  if (copy.IsNull()) return E_OUTOFMEMORY;
  status_ = std::move(copy);
  return S_OK;
}

HRESULT CUpdateItem::get_required(VARIANT_BOOL* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = required_;
  return S_OK;
}

HRESULT CUpdateItem::put_required(VARIANT_BOOL newVal) {
  required_ = newVal;  // kept as given: 1 stays 1
  return S_OK;
}

HRESULT CUpdateItem::MarshallObject(BSTR* retVal) {
  if (!retVal) return Error(kInvalidParameter, E_POINTER);
  *retVal = nullptr;
  return NoThrow([&]() -> HRESULT {
    std::u16string date = feed::FormatFeedDate(pubDate_);
    std::u16string text;
    text.reserve(160 + title_.Length() + link_.Length() + description_.Length() + guid_.Length() +
                 category_.Length() + date.size());
    text += u"<item>\n  <title>";
    text += VisibleText(title_);
    text += u"</title>\n  <link>";
    text += VisibleText(link_);
    text += u"</link>\n  <description>";
    text += VisibleText(description_);
    text += u"</description>\n  <guid>";
    text += VisibleText(guid_);
    text += u"</guid>\n  <category>";
    text += VisibleText(category_);
    text += u"</category>\n  <pubDate>";
    text += date;
    text += u"</pubDate>";
    // Only an item with payload data has the line, so the fragment of an
    // item without it reads as it always did.
    const feed::Enclosure enclosure = Enclosure();
    if (!enclosure.IsEmpty()) {
      text += u"\n  ";
      text += feed::EnclosureFragment(enclosure);
    }
    text += u"\n</item>";
    BStr result(text);
    if (result.IsNull()) return E_OUTOFMEMORY;
    *retVal = result.Detach();
    return S_OK;
  });
}

HRESULT CUpdateItem::UnMarshallObject(BSTR retVal) {
  return NoThrow([&]() -> HRESULT {
    std::u16string_view text = BstrView(retVal);
    using Put = HRESULT (CUpdateItem::*)(BSTR);
    struct TextElement {
      std::u16string_view name;
      Put put;
    };
    const TextElement elements[] = {
        {u"title", &CUpdateItem::put_title},
        {u"link", &CUpdateItem::put_link},
        {u"description", &CUpdateItem::put_description},
        {u"guid", &CUpdateItem::put_guid},
        {u"category", &CUpdateItem::put_category},
    };
    for (const TextElement& element : elements) {
      std::optional<std::u16string_view> value = FirstElementValue(text, element.name);
      if (!value) continue;
      BStr copy(*value);
      if (copy.IsNull()) return E_OUTOFMEMORY;
      HRESULT hr = (this->*element.put)(copy.Get());
      if (FAILED(hr)) return hr;
    }
    if (std::optional<std::u16string_view> value = FirstElementValue(text, u"pubDate")) {
      DATE date = feed::ParseFeedDate(*value);
      if (date != 0.0) pubDate_ = date;  // 0.0: unreadable, the date stays
    }
    // A fragment without a readable enclosure leaves the payload data.
    if (std::optional<feed::Enclosure> enclosure = feed::EnclosureFromFragment(text)) {
      return feed::PutEnclosure(this, *enclosure);
    }
    return S_OK;
  });
}

feed::Enclosure CUpdateItem::Enclosure() const {
  feed::Enclosure enclosure;
  enclosure.url = VisibleText(enclosureUrl_);
  enclosure.length = enclosureLength_;
  enclosure.type = VisibleText(enclosureType_);
  enclosure.sha256 = VisibleText(sha256_);
  enclosure.edSignature = VisibleText(edSignature_);
  return enclosure;
}

HRESULT CUpdateItem::TakeValues(feed::ItemValues& values) {
  // A null text is stored as the setters store a null argument: empty.
  for (BStr* text :
       {&values.title, &values.link, &values.description, &values.guid, &values.category}) {
    if (text->IsNull() && (*text = BStr(std::u16string_view())).IsNull()) return E_OUTOFMEMORY;
  }
  // Status text is kept up to its first zero character, as put_status keeps it.
  if (WideView(values.status.Get()).size() != values.status.Length()) {
    BStr cut(WideView(values.status.Get()));
    if (cut.IsNull()) return E_OUTOFMEMORY;
    values.status = std::move(cut);
  }
  title_ = std::move(values.title);
  link_ = std::move(values.link);
  description_ = std::move(values.description);
  category_ = std::move(values.category);
  status_ = std::move(values.status);
  required_ = values.required;
  if (values.pubDate != 0.0) pubDate_ = values.pubDate;
  ReplaceGuid(std::move(values.guid));
  return S_OK;
}

std::u16string_view CUpdateItem::GuidText() { return guid_.View(); }

HRESULT CUpdateItem::AddGuidObserver(GuidObserver* observer) {
  if (!firstObserver_) {
    firstObserver_ = observer;
    return S_OK;
  }
  return NoThrow([&] {
    moreObservers_.push_back(observer);
    return S_OK;
  });
}

void CUpdateItem::RemoveGuidObserver(GuidObserver* observer) {
  if (firstObserver_ == observer) {
    firstObserver_ = nullptr;
    if (!moreObservers_.empty()) {
      firstObserver_ = moreObservers_.back();
      moreObservers_.pop_back();
    }
    return;
  }
  auto found = std::find(moreObservers_.begin(), moreObservers_.end(), observer);
  if (found != moreObservers_.end()) moreObservers_.erase(found);
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateItem, qx::CUpdateItem)
