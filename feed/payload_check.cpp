#include "feed/payload_check.h"

#include "feed/payload_crypto.h"
#include "feed/payload_file.h"
#include "qxnet/text.h"

namespace qx::feed {

std::optional<std::string> CheckPayload(const Enclosure& feed, std::string_view publicKey,
                                        const std::string& path) {
  if (feed.length < 0) return "The feed's enclosure length is missing or not a number";
  std::optional<std::string> digest;
  if (!feed.sha256.empty()) {
    digest = HexDecode(Utf16ToUtf8(feed.sha256));
    if (!digest || digest->size() != kSha256Size) return "The feed's sha256 is not 64 hex digits";
  }
  std::optional<std::string> signature;
  if (!feed.edSignature.empty()) {
    signature = Base64Decode(Utf16ToUtf8(feed.edSignature));
    if (!signature || signature->size() != kEd25519SignatureSize) {
      return "The feed's edSignature is not a Base64 Ed25519 signature";
    }
  }
  const bool keyed = !publicKey.empty();
  if (keyed && !signature) return "The update has no signature";
  // Without a key the digest is all that ties the file to the feed.
  if (!keyed && !digest) return "The update has no SHA-256";

  try {
    PayloadFile file(path);
    const auto lengthMismatch = [&](std::uint64_t actual) {
      return "The file's length is " + std::to_string(actual) + " bytes; the feed says " +
             std::to_string(feed.length);
    };
    const std::uint64_t expected = static_cast<std::uint64_t>(feed.length);
    if (file.Size() != expected) return lengthMismatch(file.Size());

    // One byte past the stated length shows a file that grew meanwhile.
    Sha256 sha;
    const auto hash = [&](std::string_view bytes) { sha.Update(bytes); };
    std::optional<PayloadSnapshot> snapshot;
    std::uint64_t read = 0;
    if (keyed) {
      snapshot.emplace(file, expected + 1, hash);
      read = snapshot->Bytes().size();
    } else {
      read = file.Read(expected + 1, hash);
    }
    if (read != expected) return lengthMismatch(read);
    if (digest && sha.Final() != *digest) return "The file's SHA-256 does not match the feed";
    if (keyed && !Ed25519Verify(publicKey, snapshot->Bytes(), *signature)) {
      return "The file's signature does not verify with the product's key";
    }
    return std::nullopt;
  } catch (const PayloadError& error) {
    return std::string(error.what());
  }
}

}  // namespace qx::feed
