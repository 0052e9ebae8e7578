// The PE version-resource reader on well-formed, damaged and hostile images.
// Random mutations are the fuzz target's work.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "detect/pe_version_reader.h"
#include "tests/detect/pe_image_builder.h"
#include "tests/support/com_test.h"

namespace {

using detecttest::Bytes;
using detecttest::PeLayout;
using detecttest::Put16;
using detecttest::Put32;
using qx::detect::MemoryImageSource;
using qx::detect::ReadVersionResource;
using qx::detect::Translation;
using qx::detect::VersionInfoBlock;

std::optional<VersionInfoBlock> Read(const Bytes& image) {
  MemoryImageSource source(image.data(), image.size());
  std::optional<Bytes> resource = ReadVersionResource(source);
  if (!resource) return std::nullopt;
  return VersionInfoBlock::Parse(std::move(*resource));
}

detecttest::VersionResourceSpec TwoLanguageSpec() {
  detecttest::VersionResourceSpec spec;
  spec.translations = {{0x0407, 0x04E4}, {0x0409, 0x04B0}};
  spec.tables = {{u"040904b0", {{u"FileVersion", u"4.0.30319.1"}, {u"ProductName", u"Runtime"}}},
                 {u"040704E4", {{u"FileVersion", u"4.0.30319.2"}}}};
  return spec;
}

TEST(PeVersionReader, ReadsTranslationsAndStringsOfPe32AndPe32PlusImages) {
  for (bool pe32Plus : {false, true}) {
    auto info = Read(
        detecttest::BuildPeImage(detecttest::BuildVersionResource(TwoLanguageSpec()), pe32Plus));
    ASSERT_TRUE(info) << "pe32+ " << pe32Plus;
    EXPECT_EQ(info->Translations(), (std::vector<Translation>{{0x0407, 0x04E4}, {0x0409, 0x04B0}}));
    // Keys match whatever the case of the table name.
    EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040904B0\\FileVersion"), u"4.0.30319.1");
    EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040704e4\\fileversion"), u"4.0.30319.2");
    EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040904b0\\ProductName"), u"Runtime");
    EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040c04b0\\FileVersion"), std::nullopt);
    EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040904b0\\Missing"), std::nullopt);
  }
}

TEST(PeVersionReader, ImageWithoutVersionResourceOrTranslationsHasNone) {
  EXPECT_FALSE(Read(detecttest::BuildPeImage(std::nullopt)));

  detecttest::VersionResourceSpec noTranslations = TwoLanguageSpec();
  noTranslations.translations.clear();
  auto info = Read(detecttest::BuildPeImage(detecttest::BuildVersionResource(noTranslations)));
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->Translations().empty());
}

TEST(PeVersionReader, RefusesEveryTruncationOfAnImage) {
  const Bytes image = detecttest::BuildPeImage(detecttest::BuildVersionResource(TwoLanguageSpec()));
  ASSERT_TRUE(Read(image));
  // Everything up to the end of the version data is needed; what follows
  // it (another resource) is not.
  const size_t versionEnd = PeLayout::kResourceSectionOffset + PeLayout::kVersionDataOffset +
                            detecttest::BuildVersionResource(TwoLanguageSpec()).size();
  ASSERT_LT(versionEnd, image.size());
  for (size_t length = 0; length < image.size(); ++length) {
    const Bytes prefix(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(Read(prefix).has_value(), length >= versionEnd) << "prefix of " << length << " bytes";
  }
}

TEST(PeVersionReader, RefusesHostileHeadersAndResourceDirectories) {
  const Bytes good = detecttest::BuildPeImage(detecttest::BuildVersionResource(TwoLanguageSpec()));
  const size_t rsrc = PeLayout::kResourceSectionOffset;
  struct Damage {
    const char* what;
    std::function<void(Bytes&)> apply;
  };
  const std::vector<Damage> damages = {
      {"not MZ", [](Bytes& b) { b[0] = 'X'; }},
      {"PE header beyond the file", [](Bytes& b) { Put32(b, 0x3C, 0xFFFFFFF0u); }},
      {"no PE signature", [](Bytes& b) { b[PeLayout::kPeHeaderOffset + 1] = 'X'; }},
      {"huge section count", [](Bytes& b) { Put16(b, PeLayout::kSectionCountOffset, 0xFFFF); }},
      {"no sections", [](Bytes& b) { Put16(b, PeLayout::kSectionCountOffset, 0); }},
      {"unknown optional magic", [](Bytes& b) { Put16(b, PeLayout::kPeHeaderOffset + 24, 0x777); }},
      {"type entry points at the root (a cycle)",
       [&](Bytes& b) { Put32(b, rsrc + PeLayout::kTypeEntryOffset + 4, 0x80000000u); }},
      {"type entry points past the directory",
       [&](Bytes& b) { Put32(b, rsrc + PeLayout::kTypeEntryOffset + 4, 0xFFFFFFF0u); }},
      {"data entry of 4 GiB",
       [&](Bytes& b) { Put32(b, rsrc + PeLayout::kDataEntryOffset + 4, 0xFFFFFFFFu); }},
      {"data entry over the cap",
       [&](Bytes& b) { Put32(b, rsrc + PeLayout::kDataEntryOffset + 4, (1u << 20) + 4); }},
      {"data entry at a wrapping address",
       [&](Bytes& b) { Put32(b, rsrc + PeLayout::kDataEntryOffset, 0xFFFFFFFEu); }},
      {"root block longer than the resource",
       [&](Bytes& b) { Put16(b, rsrc + PeLayout::kVersionDataOffset, 0xFFFF); }},
      {"root block shorter than its header",
       [&](Bytes& b) { Put16(b, rsrc + PeLayout::kVersionDataOffset, 4); }},
  };
  for (const Damage& damage : damages) {
    Bytes image = good;
    damage.apply(image);
    EXPECT_FALSE(Read(image)) << damage.what;
  }
}

TEST(PeVersionReader, DamagedChildBlocksEndTheWalkWithoutAnswer) {
  const Bytes resource = detecttest::BuildVersionResource(TwoLanguageSpec());
  auto childOffset = [&](std::u16string_view key) {
    // The child's key follows its 6-byte header.
    for (size_t at = 6; at + key.size() * 2 < resource.size(); at += 2) {
      bool match = true;
      for (size_t i = 0; i < key.size() && match; ++i) {
        match =
            resource[at + 2 * i] == static_cast<uint8_t>(key[i]) && resource[at + 2 * i + 1] == 0;
      }
      if (match) return at - 6;
    }
    ADD_FAILURE() << "no such block";
    return size_t{0};
  };
  const size_t stringInfo = childOffset(u"StringFileInfo");
  const size_t translation = childOffset(u"Translation");

  Bytes zeroLength = resource;  // a child of length 0 would never advance
  Put16(zeroLength, stringInfo, 0);
  auto info = VersionInfoBlock::Parse(zeroLength);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040904b0\\FileVersion"), std::nullopt);

  Bytes overrun = resource;  // a child longer than its parent
  Put16(overrun, translation, 0x7FFF);
  info = VersionInfoBlock::Parse(overrun);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->Translations().empty());

  Bytes unterminated = resource;  // "Translation" without terminator up to its block end
  const size_t blockEnd =
      translation + (unterminated[translation] | (unterminated[translation + 1] << 8));
  for (size_t at = translation + 6 + 11 * 2; at < blockEnd; at += 2) Put16(unterminated, at, u'x');
  info = VersionInfoBlock::Parse(unterminated);
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->Translations().empty());

  Bytes oddTranslation = resource;  // a value length that is not a whole entry
  Put16(oddTranslation, translation + 2, 7);
  info = VersionInfoBlock::Parse(oddTranslation);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->Translations(), (std::vector<Translation>{{0x0407, 0x04E4}}));
}

// An image that claims to be 8 GiB long: its headers and resource are at
// the front, the rest reads as zeros. The reader must touch only what it
// needs, never the bulk of the file.
class HugeImage final : public qx::detect::ImageSource {
 public:
  explicit HugeImage(Bytes front) : front_(std::move(front)) {}
  uint64_t Size() const override { return 8ull << 30; }
  bool ReadAt(uint64_t offset, void* out, size_t count) const override {
    if (offset > Size() || count > Size() - offset) return false;
    bytesRead += count;
    auto* bytes = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < count; ++i) {
      bytes[i] = offset + i < front_.size() ? front_[offset + i] : 0;
    }
    return true;
  }
  mutable uint64_t bytesRead = 0;

 private:
  Bytes front_;
};

TEST(PeVersionReader, ReadsOnlyHeadersAndResourceOfAHugeFile) {
  Bytes image = detecttest::BuildPeImage(detecttest::BuildVersionResource(TwoLanguageSpec()));
  HugeImage huge(image);
  auto resource = ReadVersionResource(huge);
  ASSERT_TRUE(resource);
  EXPECT_LT(huge.bytesRead, image.size() + 1024);

  // A section claiming 4 GiB of raw data and a data entry at its very end
  // is refused before anything that size is allocated.
  Bytes hostile = image;
  const size_t section = PeLayout::kPeHeaderOffset + 24 + 224;
  Put32(hostile, section + 16, 0xFFFFFFFFu);
  Put32(hostile, PeLayout::kResourceSectionOffset + PeLayout::kDataEntryOffset + 4, 0xFFFFFF00u);
  HugeImage hostileHuge(hostile);
  EXPECT_FALSE(ReadVersionResource(hostileHuge));
  EXPECT_LT(hostileHuge.bytesRead, image.size() + 1024);
}

TEST(PeVersionReader, FileReaderRefusesFoldersPipesAndMissingFiles) {
  const std::string root = qxtest::TestRoot();
  EXPECT_FALSE(qx::detect::ReadFileVersionInfo(root));
  EXPECT_FALSE(qx::detect::ReadFileVersionInfo(root + "/missing.dll"));
  const std::string fifo = root + "/pipe.dll";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(qx::detect::ReadFileVersionInfo(fifo));  // must not block

  const std::string file = root + "/good.dll";
  detecttest::WriteFile(file, detecttest::PeWithFileVersion(u"1.2.3.4"));
  auto info = qx::detect::ReadFileVersionInfo(file);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->QueryString(u"\\StringFileInfo\\040904b0\\FileVersion"), u"1.2.3.4");
}

}  // namespace
