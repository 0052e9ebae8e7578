// The cryptography of signed updates, over OpenSSL's EVP interface: SHA-256,
// Ed25519 keys, signatures and their verification, and the Base64 and hex
// texts they travel in. Shared by the library's verifier and the command
// line's keygen and sign.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qx::feed {

// A failure of reading, hashing or signing a payload; what() is the message
// for the user, in UTF-8.
class PayloadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr size_t kEd25519KeySize = 32;
inline constexpr size_t kEd25519SignatureSize = 64;
inline constexpr size_t kSha256Size = 32;

std::string Base64Encode(std::string_view bytes);
// Standard alphabet with "=" padding, nothing else (no blanks, no line
// breaks); none when the text is anything else.
std::optional<std::string> Base64Decode(std::string_view text);

std::string HexEncode(std::string_view bytes);  // lower case
// Hex digits in either case, an even number of them; none otherwise.
std::optional<std::string> HexDecode(std::string_view text);

// SHA-256 fed piece by piece.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;
  void Update(std::string_view bytes);
  std::string Final();  // the 32-byte digest

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// Whether `signature` (64 bytes) is the Ed25519 signature of `message` under
// `publicKey` (32 bytes).
bool Ed25519Verify(std::string_view publicKey, std::string_view message,
                   std::string_view signature);

struct Ed25519KeyPair {
  std::string privateKeyPem;  // PKCS #8, PEM
  std::string publicKey;      // 32 bytes
};
Ed25519KeyPair Ed25519Generate();

// The signature of `message` under a PEM private key, and that key's public
// half. Throw PayloadError when the key is not an Ed25519 private key.
std::string Ed25519Sign(std::string_view privateKeyPem, std::string_view message);
std::string Ed25519PublicKeyOf(std::string_view privateKeyPem);

}  // namespace qx::feed
