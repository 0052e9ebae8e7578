#include "feed/update_verifier.h"

#include "feed/enclosure.h"
#include "feed/payload_check.h"
#include "feed/payload_crypto.h"
#include "qxnet/registry_key.h"
#include "qxnet/text.h"
#include "server/module/object_map.h"

namespace qx {

namespace {

constexpr std::u16string_view kInvalidParameter = u"Invalid parameter";
constexpr std::u16string_view kBadKey = u"The public key is not 32 bytes of Base64";

constexpr char16_t kProductKey[] = u"SOFTWARE\\Corvane\\Corvane\\Internal";
constexpr char16_t kPublicKeyValue[] = u"Update Public Key";
constexpr size_t kValueCapacity = 255;

// The product's key as its installer wrote it: a text value of the machine's
// registry, or empty when there is none.
std::u16string ProductPublicKey() {
  return ReadMachineText(kProductKey, kPublicKeyValue, kValueCapacity).value_or(u"");
}

// The 32 key bytes of a Base64 text, or none.
std::optional<std::string> DecodeKey(std::u16string_view text) {
  std::optional<std::string> key = feed::Base64Decode(Utf16ToUtf8(text));
  if (!key || key->size() != feed::kEd25519KeySize) return std::nullopt;
  return key;
}

}  // namespace

HRESULT CUpdateVerifier::get_publicKey(BSTR* pVal) {
  if (!pVal) return Error(kInvalidParameter, E_POINTER);
  *pVal = nullptr;
  return NoThrow([&]() -> HRESULT {
    BStr key(publicKey_.Length() > 0 ? std::u16string(publicKey_.View()) : ProductPublicKey());
    if (key.IsNull()) return E_OUTOFMEMORY;
    *pVal = key.Detach();
    return S_OK;
  });
}

HRESULT CUpdateVerifier::put_publicKey(BSTR newVal) {
  return NoThrow([&]() -> HRESULT {
    const std::u16string_view text = BstrView(newVal);
    if (!text.empty() && !DecodeKey(text)) return Error(kBadKey, E_INVALIDARG);
    BStr copy(text);
    if (copy.IsNull()) return E_OUTOFMEMORY;
    publicKey_ = std::move(copy);
    return S_OK;
  });
}

HRESULT CUpdateVerifier::Verify(IUpdateItem* item, BSTR fileName) {
  if (!item || BstrView(fileName).empty()) return Error(kInvalidParameter, E_POINTER);
  return NoThrow([&]() -> HRESULT {
    feed::Enclosure enclosure;
    HRESULT hr = feed::GetEnclosure(item, enclosure);
    if (FAILED(hr)) return hr;

    std::string key;
    if (publicKey_.Length() > 0) {
      key = *DecodeKey(publicKey_.View());  // checked when it was put
    } else if (const std::u16string product = ProductPublicKey(); !product.empty()) {
      std::optional<std::string> decoded = DecodeKey(product);
      if (!decoded) {
        return Error(u"The product's public key in the registry is not 32 bytes of Base64", E_FAIL);
      }
      key = std::move(*decoded);
    }

    const std::optional<std::string> failure =
        feed::CheckPayload(enclosure, key, Utf16ToUtf8(BstrView(fileName)));
    if (failure) return Error(Utf8ToUtf16(*failure), E_FAIL);
    return S_OK;
  });
}

}  // namespace qx

QX_OBJECT_ENTRY(CLSID_UpdateVerifier, qx::CUpdateVerifier)
