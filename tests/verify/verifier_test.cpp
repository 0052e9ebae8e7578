// UpdateVerifier: a payload is accepted only when its length, SHA-256 and
// (with a key) signature are the feed's; every failure names its check.
#include <sys/stat.h>

#include <string>

#include "feed/payload_crypto.h"
#include "qxnet/text.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"
#include "tests/support/registry_dump.h"

namespace {

using qx::BStr;
using qx::ComPtr;
namespace feed = qx::feed;

using qxtest::TempPath;
using qxtest::WriteTempFile;
void Put(IUpdateItem2* item, HRESULT (STDMETHODCALLTYPE IUpdateItem2::*put)(BSTR),
         const std::string& value) {
  BStr text = BStr::FromUtf8(value);
  ASSERT_EQ((item->*put)(text.Get()), S_OK);
}

// What a feed says of a payload.
struct Described {
  std::string length, sha256, signature;
};

Described Describe(const std::string& payload, const std::string& privateKeyPem) {
  feed::Sha256 sha;
  sha.Update(payload);
  return {std::to_string(payload.size()), feed::HexEncode(sha.Final()),
          feed::Base64Encode(feed::Ed25519Sign(privateKeyPem, payload))};
}

class VerifierTest : public qxtest::ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    verifier_ = qxtest::Create<IUpdateVerifier>(CLSID_UpdateVerifier);
    keys_ = feed::Ed25519Generate();
  }
  void TearDown() override {
    verifier_ = nullptr;
    ComTest::TearDown();
  }

  ComPtr<IUpdateItem2> Item(const Described& d) {
    ComPtr<IUpdateItem2> item = qxtest::Create<IUpdateItem2>(CLSID_UpdateItem);
    const LONGLONG length = d.length.empty() ? -1 : std::stoll(d.length);
    EXPECT_EQ(item->put_enclosureLength(length), S_OK);
    Put(item.Get(), &IUpdateItem2::put_sha256, d.sha256);
    Put(item.Get(), &IUpdateItem2::put_edSignature, d.signature);
    return item;
  }

  HRESULT SetKey(const std::string& base64) {
    BStr key = BStr::FromUtf8(base64);
    return verifier_->put_publicKey(key.Get());
  }

  // The outcome of Verify: "" on success, else the error record's text.
  std::string Verify(IUpdateItem2* item, const std::string& path) {
    BStr name = BStr::FromUtf8(path);
    qxtest::ClearErrorRecord();
    const HRESULT hr = verifier_->Verify(item, name.Get());
    if (hr == S_OK) return "";
    EXPECT_EQ(hr, E_FAIL);
    return qxtest::TakeErrorText();
  }

  ComPtr<IUpdateVerifier> verifier_;
  feed::Ed25519KeyPair keys_;
};

TEST_F(VerifierTest, EachTamperingFailsWithItsOwnCheck) {
  const std::string payload(1024, 'p');
  const Described good = Describe(payload, keys_.privateKeyPem);
  std::string flipped = payload;
  flipped[512] ^= 0x01;
  const feed::Ed25519KeyPair other = feed::Ed25519Generate();
  std::string otherPayload = payload;
  otherPayload[0] = 'q';

  const std::string &key = keys_.publicKey, &len = good.length, &sha = good.sha256,
                    &sig = good.signature;
  const Described noSignature{len, sha, ""}, noSha{len, "", sig};
  const Described otherSigned{len, sha, Describe(otherPayload, keys_.privateKeyPem).signature};
  const std::string badSignature = "The file's signature does not verify with the product's key";
  const std::string badLength = "The feed's enclosure length is missing or not a number";
  const std::string badSha = "The feed's sha256 is not 64 hex digits";
  const std::string badEd = "The feed's edSignature is not a Base64 Ed25519 signature";
  const std::string shortSignature = feed::Base64Encode(std::string(63, 's'));
  struct Case {
    const char* name;
    std::string file;
    Described described;
    std::string key;
    std::string expected;
  } cases[] = {
      {"good payload", payload, good, key, ""},
      {"good payload without a key", payload, noSignature, "", ""},
      {"flipped byte", flipped, good, key, "The file's SHA-256 does not match the feed"},
      {"byte missing", payload.substr(1), good, key,
       "The file's length is 1023 bytes; the feed says 1024"},
      {"byte extra", payload + "x", good, key,
       "The file's length is 1025 bytes; the feed says 1024"},
      {"wrong key", payload, good, other.publicKey, badSignature},
      {"signature over another file", payload, otherSigned, key, badSignature},
      {"flipped byte without a SHA-256", flipped, noSha, key, badSignature},
      {"no signature with a key", payload, noSignature, key, "The update has no signature"},
      {"nothing to check without a key", payload, noSha, "", "The update has no SHA-256"},
      {"no length", payload, {"", sha, sig}, key, badLength},
      {"sha256 too short", payload, {len, sha.substr(2), sig}, key, badSha},
      {"sha256 not hex", payload, {len, "zz" + sha.substr(2), sig}, key, badSha},
      {"signature not Base64", payload, {len, sha, "!" + sig.substr(1)}, key, badEd},
      {"signature of 63 bytes", payload, {len, sha, shortSignature}, key, badEd},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SetKey(c.key.empty() ? "" : feed::Base64Encode(c.key)), S_OK);
    ComPtr<IUpdateItem2> item = Item(c.described);
    EXPECT_EQ(Verify(item.Get(), WriteTempFile("payload.bin", c.file)), c.expected);
  }
}

TEST_F(VerifierTest, SpecialFilesAreRefusedAndAnEmptyFileIsVerifiedExactly) {
  ASSERT_EQ(SetKey(feed::Base64Encode(keys_.publicKey)), S_OK);
  const std::string empty = WriteTempFile("empty.bin", "");
  ComPtr<IUpdateItem2> emptyItem = Item(Describe("", keys_.privateKeyPem));
  EXPECT_EQ(Verify(emptyItem.Get(), empty), "");
  ComPtr<IUpdateItem2> oneByte = Item(Describe("x", keys_.privateKeyPem));
  EXPECT_EQ(Verify(oneByte.Get(), empty), "The file's length is 0 bytes; the feed says 1");

  const std::string fifo = TempPath("payload.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string link = TempPath("null.link");
  ASSERT_EQ(symlink("/dev/null", link.c_str()), 0);
  for (const std::string& path : {fifo, link, TempPath("")}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Verify(emptyItem.Get(), path), "The file " + path + " is not a regular file");
  }
  EXPECT_EQ(Verify(emptyItem.Get(), TempPath("absent.bin")),
            "The file " + TempPath("absent.bin") + " cannot be opened: No such file or directory");
}

TEST_F(VerifierTest, PublicKeyMustBe32BytesOfBase64) {
  for (const std::string& bad :
       {feed::Base64Encode(std::string(31, 'k')), feed::Base64Encode(std::string(33, 'k')),
        std::string("not base64"), feed::Base64Encode(keys_.publicKey) + "\n"}) {
    SCOPED_TRACE(bad);
    qxtest::ClearErrorRecord();
    EXPECT_EQ(SetKey(bad), E_INVALIDARG);
    EXPECT_EQ(qxtest::TakeErrorText(), "The public key is not 32 bytes of Base64");
  }
  ASSERT_EQ(SetKey(feed::Base64Encode(keys_.publicKey)), S_OK);
  BStr read;
  ASSERT_EQ(verifier_->get_publicKey(read.Put()), S_OK);
  EXPECT_EQ(read.Utf8(), feed::Base64Encode(keys_.publicKey));
}

// The product's key, written by its installer into the machine's registry,
// is used when the caller sets none; a malformed one is an error, not "no key".
TEST_F(VerifierTest, ProductKeyComesFromTheMachineRegistry) {
  const std::string payload = "signed payload";
  const Described good = Describe(payload, keys_.privateKeyPem);
  const std::string path = WriteTempFile("payload.bin", payload);
  ComPtr<IUpdateItem2> unsigned_ = Item({good.length, good.sha256, ""});
  EXPECT_EQ(Verify(unsigned_.Get(), path), "");  // no key anywhere: the digest suffices

  const auto setProductKey = [](const std::string& base64) {
    qxtest::WriteRegistryString(HKEY_LOCAL_MACHINE, qxtest::kProductKey, u"Update Public Key",
                                qx::Utf8ToUtf16(base64));
  };
  setProductKey(feed::Base64Encode(keys_.publicKey));
  EXPECT_EQ(Verify(unsigned_.Get(), path), "The update has no signature");
  ComPtr<IUpdateItem2> signed_ = Item(good);
  EXPECT_EQ(Verify(signed_.Get(), path), "");

  setProductKey("short");
  EXPECT_EQ(Verify(signed_.Get(), path),
            "The product's public key in the registry is not 32 bytes of Base64");
  // The caller's key wins over the product's.
  ASSERT_EQ(SetKey(feed::Base64Encode(keys_.publicKey)), S_OK);
  EXPECT_EQ(Verify(signed_.Get(), path), "");
}

TEST(PayloadText, Base64AndHexAcceptOnlyTheirCanonicalForm) {
  EXPECT_EQ(feed::Base64Decode("aGk="), std::optional<std::string>("hi"));
  EXPECT_EQ(feed::Base64Decode(""), std::optional<std::string>(""));
  for (const char* bad : {"aGk", "aG k", "a===", "aGk=\n", "aG=k"}) {
    EXPECT_EQ(feed::Base64Decode(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(feed::HexDecode("0aFf"), std::optional<std::string>("\x0a\xff"));
  EXPECT_EQ(feed::HexDecode("0a0"), std::nullopt);
  EXPECT_EQ(feed::HexDecode("0g"), std::nullopt);
}

}  // namespace
