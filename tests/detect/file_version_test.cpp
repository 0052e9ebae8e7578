// The file version text: translation order, the third-full-stop cut and
// the path buffer.
#include <gtest/gtest.h>

#include <filesystem>

#include "detect/file_version.h"
#include "qxnet/text.h"
#include "tests/detect/pe_image_builder.h"
#include "tests/support/com_test.h"

namespace {

using qx::detect::CutAtThirdFullStop;
using qx::detect::GetFileVersionString;

std::u16string VersionOf(const std::string& path) {
  return GetFileVersionString(qx::Utf8ToUtf16(path));
}

std::string WriteImage(const std::string& name, const detecttest::Bytes& image) {
  const std::string path = detecttest::TestFolder("images") + "/" + name;
  detecttest::WriteFile(path, image);
  return path;
}

TEST(FileVersion, CutsAtTheThirdFullStopAndKeepsShorterTexts) {
  EXPECT_EQ(CutAtThirdFullStop(u"4.0.30319.1 (RTMRel.030319-0100)"), u"4.0.30319");
  EXPECT_EQ(CutAtThirdFullStop(u"8.0.1024.46610 @Commit: 81cabf2857a01351e5ab578947c7403a5b128ad1"),
            u"8.0.1024");
  EXPECT_EQ(CutAtThirdFullStop(u"1.2.3"), u"1.2.3");
  EXPECT_EQ(CutAtThirdFullStop(u"..."), u"..");
  EXPECT_EQ(CutAtThirdFullStop(u""), u"");

  EXPECT_EQ(VersionOf(WriteImage("four.dll",
                                 detecttest::PeWithFileVersion(u"4.0.30319.1 built by: RTMRel"))),
            u"4.0.30319");
  EXPECT_EQ(VersionOf(WriteImage("two.dll", detecttest::PeWithFileVersion(u"2.0"))), u"2.0");
}

TEST(FileVersion, FollowsTheTranslationTableInItsOrder) {
  detecttest::VersionResourceSpec spec;
  // The first translation has no string table, the second one has, and a
  // third table that no translation names is never looked at.
  spec.translations = {{0x0411, 0x04B0}, {0x0407, 0x04E4}, {0x0409, 0x04B0}};
  spec.tables = {{u"000004b0", {{u"FileVersion", u"9.9.9.9"}}},
                 {u"040904b0", {{u"FileVersion", u"1.1.1.1"}}},
                 {u"040704E4", {{u"FileVersion", u"2.2.2.2"}}}};
  const auto path =
      WriteImage("ordered.dll", detecttest::BuildPeImage(detecttest::BuildVersionResource(spec)));
  EXPECT_EQ(VersionOf(path), u"2.2.2");

  spec.translations = {{0x0C0C, 0x04B0}};  // names no table at all
  const auto none =
      WriteImage("unnamed.dll", detecttest::BuildPeImage(detecttest::BuildVersionResource(spec)));
  EXPECT_EQ(VersionOf(none), u"");
}

TEST(FileVersion, EmptyForFilesWithoutAReadableVersion) {
  EXPECT_EQ(VersionOf(WriteImage("plain.dll", detecttest::BuildPeImage(std::nullopt))), u"");
  EXPECT_EQ(VersionOf(WriteImage("text.dll", detecttest::Bytes{'h', 'e', 'l', 'l', 'o'})), u"");
  EXPECT_EQ(VersionOf(qxtest::TestRoot() + "/missing.dll"), u"");
  EXPECT_EQ(GetFileVersionString(std::u16string(u"/tmp/x\0y.dll", 12)), u"");
}

TEST(FileVersion, PathsLongerThanTheBufferAreCut) {
  // A folder chosen so that the file's path is exactly 259 characters: the
  // longest the buffer holds. Anything appended to it is cut away.
  std::string folder = qxtest::TestRoot() + "/";
  const size_t nameLength = 8;  // "lib.dll" plus '/'
  folder += std::string(259 - folder.size() - nameLength, 'd');
  std::filesystem::create_directories(folder);
  const std::string path = folder + "/lib.dll";
  ASSERT_EQ(path.size(), 259u);
  detecttest::WriteFile(path, detecttest::PeWithFileVersion(u"3.1.4.1"));

  EXPECT_EQ(VersionOf(path), u"3.1.4");
  EXPECT_EQ(VersionOf(path + ".ignored-tail"), u"3.1.4");
  EXPECT_EQ(VersionOf(path.substr(0, 258)), u"");
}

}  // namespace
