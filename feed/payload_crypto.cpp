#include "feed/payload_crypto.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <vector>

namespace qx::feed {

namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

struct MdCtxFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using MdContext = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioFree>;

const unsigned char* Bytes(std::string_view text) {
  // A zero-length message still needs a valid address.
  static const unsigned char kNothing = 0;
  return text.empty() ? &kNothing : reinterpret_cast<const unsigned char*>(text.data());
}

MdContext NewMdContext() {
  MdContext context(EVP_MD_CTX_new());
  if (!context) throw std::bad_alloc();
  return context;
}

Pkey ReadPrivateKey(std::string_view pem) {
  Bio bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio) throw std::bad_alloc();
  Pkey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) {
    throw PayloadError("The key file does not hold an Ed25519 private key");
  }
  return key;
}

std::string RawPublicKey(EVP_PKEY* key) {
  std::string raw(kEd25519KeySize, '\0');
  size_t size = raw.size();
  if (EVP_PKEY_get_raw_public_key(key, reinterpret_cast<unsigned char*>(raw.data()), &size) != 1 ||
      size != kEd25519KeySize) {
    throw PayloadError("The public key cannot be read from the private key");
  }
  return raw;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view bytes) {
  std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), Bytes(bytes),
                                      static_cast<int>(bytes.size()));
  text.resize(static_cast<size_t>(written));
  return text;
}

std::optional<std::string> Base64Decode(std::string_view text) {
  // The decoder below is lenient (blanks, missing checks of the padding);
  // the text is checked strictly first.
  if (text.size() % 4 != 0) return std::nullopt;
  size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    if (Base64Value(text[i]) < 0) return std::nullopt;
  }
  if (text.empty()) return std::string();
  std::string bytes(text.size() / 4 * 3, '\0');
  const int decoded = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                      reinterpret_cast<const unsigned char*>(text.data()),
                                      static_cast<int>(text.size()));
  if (decoded < 0) return std::nullopt;
  bytes.resize(static_cast<size_t>(decoded) - padding);
  return bytes;
}

std::string HexEncode(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}

std::optional<std::string> HexDecode(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high << 4 | low);
  }
  return bytes;
}

struct Sha256::Context {
  MdContext md = NewMdContext();
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  if (EVP_DigestInit_ex(context_->md.get(), EVP_sha256(), nullptr) != 1) {
    throw PayloadError("SHA-256 is not available");
  }
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) {
  if (EVP_DigestUpdate(context_->md.get(), bytes.data(), bytes.size()) != 1) {
    throw PayloadError("SHA-256 failed");
  }
}

std::string Sha256::Final() {
  std::string digest(kSha256Size, '\0');
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(context_->md.get(), reinterpret_cast<unsigned char*>(digest.data()),
                         &size) != 1 ||
      size != kSha256Size) {
    throw PayloadError("SHA-256 failed");
  }
  return digest;
}

bool Ed25519Verify(std::string_view publicKey, std::string_view message,
                   std::string_view signature) {
  if (publicKey.size() != kEd25519KeySize || signature.size() != kEd25519SignatureSize) {
    return false;
  }
  Pkey key(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, Bytes(publicKey), publicKey.size()));
  if (!key) return false;  // not a point of the curve
  MdContext context = NewMdContext();
  if (EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
    throw PayloadError("Ed25519 is not available");
  }
  // Ed25519 takes the whole message in one call.
  return EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(message),
                          message.size()) == 1;
}

Ed25519KeyPair Ed25519Generate() {
  EVP_PKEY* made = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
  if (!made) throw PayloadError("No Ed25519 key could be made");
  Pkey key(made);
  Bio bio(BIO_new(BIO_s_mem()));
  if (!bio) throw std::bad_alloc();
  if (PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    throw PayloadError("The private key cannot be written");
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  return {std::string(data, static_cast<size_t>(size)), RawPublicKey(key.get())};
}

std::string Ed25519Sign(std::string_view privateKeyPem, std::string_view message) {
  Pkey key = ReadPrivateKey(privateKeyPem);
  MdContext context = NewMdContext();
  if (EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1) {
    throw PayloadError("Ed25519 is not available");
  }
  std::string signature(kEd25519SignatureSize, '\0');
  size_t size = signature.size();
  if (EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                     Bytes(message), message.size()) != 1 ||
      size != kEd25519SignatureSize) {
    throw PayloadError("The file cannot be signed");
  }
  return signature;
}

std::string Ed25519PublicKeyOf(std::string_view privateKeyPem) {
  return RawPublicKey(ReadPrivateKey(privateKeyPem).get());
}

}  // namespace qx::feed
