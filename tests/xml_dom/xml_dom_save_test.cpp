// Building documents and saving them atomically.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>

#include "feed/xml_dom/xml_document.h"
#include "qxnet/text.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace {

using qx::xml::Document;
using qx::xml::DomError;
using qx::xml::Node;
using qx::xml::NodeType;
using qxtest::ReadFile;

// Builds a small catalog-like document the way its writer does: nodes are
// created first and appended later, the root last.
void BuildCatalog(Document& doc, const std::u16string& title) {
  doc.appendChild(doc.createProcessingInstruction(u"xml", u"version='1.0'"));
  Node root = doc.createElement(u"updatecatalog");
  root.appendChild(doc.createTextNode(u"\r\n"));
  Node title_node = doc.createElement(u"title");
  title_node.setText(title);
  root.appendChild(title_node);
  root.appendChild(doc.createTextNode(u"\r\n"));
  Node list = doc.createElement(u"notinstalleditems");
  Node item = doc.createElement(u"item");
  item.appendChild(doc.createTextNode(u"\r\n    "));
  Node guid = doc.createElement(u"guid");
  guid.setText(u"g-1");
  item.appendChild(guid);
  Node empty = doc.createElement(u"link");
  item.appendChild(doc.createTextNode(u"\r\n    "));
  item.appendChild(empty);
  item.setAttribute(u"required", u"true");
  list.appendChild(doc.createTextNode(u"\r\n  "));
  list.appendChild(item);
  root.appendChild(list);
  root.appendChild(doc.createTextNode(u"\r\n"));
  doc.appendChild(root);
}

TEST(XmlDomSave, BuildSaveAndReload) {
  const std::string path = qxtest::TempPath("catalog.xml");
  const std::u16string title = u"A & B <c> \"q\" \u00e9\u20ac\U0001F600 ]]> end";
  {
    Document doc;
    BuildCatalog(doc, title);
    doc.save(qx::Utf8ToUtf16(path));
  }
  const std::string bytes = ReadFile(path);
  EXPECT_EQ(
      bytes,
      "<?xml version='1.0'?>\r\n"
      "<updatecatalog>\r\n"
      "<title>A &amp; B &lt;c&gt; \"q\" \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 ]]&gt; end</title>\r\n"
      "<notinstalleditems>\r\n"
      "  <item required=\"true\">\r\n"
      "    <guid>g-1</guid>\r\n"
      "    <link></link></item></notinstalleditems>\r\n"
      "</updatecatalog>\r\n");

  Document back;
  ASSERT_TRUE(back.load(qx::Utf8ToUtf16(path))) << qxtest::Narrow(back.parseError().reason);
  const Node root = back.documentElement().selectSingleNode(u"//updatecatalog");
  ASSERT_TRUE(root);
  EXPECT_EQ(root.selectSingleNode(u"./title").text(), title);
  const Node item = root.selectSingleNode(u"./notinstalleditems").selectNodes(u"./item").item(0);
  EXPECT_EQ(item.getAttribute(u"required"), std::optional<std::u16string>(u"true"));
  EXPECT_EQ(item.selectSingleNode(u"./guid").text(), u"g-1");
  EXPECT_EQ(item.selectSingleNode(u"./link").text(), u"");
  // Whitespace text nodes come back (line ends normalised to LF on reading).
  const auto children = item.childNodes();
  ASSERT_EQ(children.length(), 4u);
  EXPECT_EQ(children.item(0).nodeType(), NodeType::kText);
  EXPECT_EQ(children.item(0).text(), u"\n    ");
}

TEST(XmlDomSave, ControlCharactersAndZerosSurviveAsWellFormedText) {
  const std::string path = qxtest::TempPath("controls.xml");
  {
    Document doc;
    Node root = doc.createElement(u"r");
    root.setText(std::u16string(u"a\u0001b\0c\td", 8));
    root.setAttribute(u"x", u"line1\r\nline2\t\"");
    doc.appendChild(root);
    doc.save(qx::Utf8ToUtf16(path));
  }
  Document back;
  ASSERT_TRUE(back.load(qx::Utf8ToUtf16(path))) << qxtest::Narrow(back.parseError().reason);
  EXPECT_EQ(back.documentElement().text(), u"a\u0001bc\td");  // U+0000 cannot be stored
  EXPECT_EQ(back.documentElement().getAttribute(u"x"),
            std::optional<std::u16string>(u"line1\r\nline2\t\""));
}

TEST(XmlDomSave, TreeRulesAreEnforced) {
  Document doc;
  for (const char16_t* name : {u"1bad", u"has space", u""}) {
    EXPECT_THROW(doc.createElement(name), DomError);
  }
  EXPECT_THROW(doc.createProcessingInstruction(u"xml", u"version='1.0' encoding='UTF-16'"),
               DomError);
  EXPECT_THROW(doc.createProcessingInstruction(u"p", u"a ?> b"), DomError);
  EXPECT_THROW(doc.appendChild(doc.createTextNode(u"top-level text")), DomError);
  Node a = doc.createElement(u"a");
  Node b = doc.createElement(u"b");
  a.appendChild(b);
  EXPECT_THROW(b.appendChild(a), DomError);  // into its own subtree
  EXPECT_THROW(a.appendChild(a), DomError);
  doc.appendChild(a);
  EXPECT_THROW(doc.appendChild(doc.createElement(u"second")), DomError);
  EXPECT_THROW(doc.appendChild(doc.createProcessingInstruction(u"xml", u"version='1.0'")),
               DomError);  // the declaration only comes first
  Document other;
  EXPECT_THROW(a.appendChild(other.createElement(u"x")), DomError);
  EXPECT_THROW(doc.createTextNode(u"t").setAttribute(u"x", u"y"), DomError);
  // Created but never appended nodes are not saved.
  doc.createElement(u"orphan");
  EXPECT_EQ(doc.xml(), "<a><b></b></a>\r\n");
  // A document without an element is not written.
  Document nothing;
  EXPECT_THROW(nothing.save(qx::Utf8ToUtf16(qxtest::TempPath("nothing.xml"))), DomError);
  EXPECT_FALSE(std::filesystem::exists(qxtest::TempPath("nothing.xml")));
}

TEST(XmlDomSave, FailedSaveLeavesTheOldFileAndNoTemporary) {
  const std::string folder = qxtest::TempPath("saves");
  std::filesystem::create_directories(folder + "/target-is-folder");
  const std::string path = folder + "/catalog.xml";
  qxtest::WriteTempFile("saves/catalog.xml", "<old/>");
  Document doc;
  doc.appendChild(doc.createElement(u"new"));

  // The target is a folder; the folder does not exist.
  EXPECT_THROW(doc.save(qx::Utf8ToUtf16(folder + "/target-is-folder")), DomError);
  EXPECT_THROW(doc.save(qx::Utf8ToUtf16(folder + "/missing/catalog.xml")), DomError);

  if (geteuid() != 0) {
    // The folder is not writable: the old file stays as it was.
    ASSERT_EQ(chmod(folder.c_str(), 0500), 0);
    try {
      doc.save(qx::Utf8ToUtf16(path));
      ADD_FAILURE() << "saving into a read-only folder succeeded";
    } catch (const DomError& e) {
      EXPECT_EQ(e.hr, E_ACCESSDENIED);
    }
    chmod(folder.c_str(), 0700);
  }
  EXPECT_EQ(ReadFile(path), "<old/>");
  EXPECT_EQ(qxtest::FolderEntries(folder).size(), 2u);

  // A file-size limit stands for a full disk: the write fails part way
  // (the size signal is ignored, so the write reports an error).
  Document big;
  big.appendChild(big.createElement(u"big"))
      .appendChild(big.createTextNode(std::u16string(64 * 1024, u'x')));
  auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit previous{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
  rlimit limited = previous;
  limited.rlim_cur = 16 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  EXPECT_THROW(big.save(qx::Utf8ToUtf16(path)), DomError);
  setrlimit(RLIMIT_FSIZE, &previous);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ReadFile(path), "<old/>");
  EXPECT_EQ(qxtest::FolderEntries(folder).size(), 2u);

  doc.save(qx::Utf8ToUtf16(path));
  EXPECT_EQ(ReadFile(path), "<new></new>\r\n");
  EXPECT_EQ(qxtest::FolderEntries(folder).size(), 2u);
}

TEST(XmlDomSave, FileModesAndLinks) {
  const std::string fresh = qxtest::TempPath("fresh.xml");
  const std::string kept = qxtest::TempPath("kept.xml");
  Document doc;
  doc.appendChild(doc.createElement(u"r"));
  qx::xml::SaveOptions options;
  options.newFileMode = 0600;

  qxtest::WriteTempFile("kept.xml", "<old/>");
  ASSERT_EQ(chmod(kept.c_str(), 0640), 0);
  for (const auto& [path, mode] : {std::pair{fresh, 0600u}, std::pair{kept, 0640u}}) {
    doc.save(qx::Utf8ToUtf16(path), options);  // an existing file keeps its mode
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, mode) << path;
  }

  // Saving through a symbolic link replaces the linked file, keeping the link.
  const std::string link = qxtest::TempPath("link.xml");
  ASSERT_EQ(symlink(kept.c_str(), link.c_str()), 0);
  Document other;
  other.appendChild(other.createElement(u"via-link"));
  other.save(qx::Utf8ToUtf16(link));
  struct stat lst {};
  ASSERT_EQ(lstat(link.c_str(), &lst), 0);
  EXPECT_TRUE(S_ISLNK(lst.st_mode));
  EXPECT_EQ(ReadFile(kept), "<via-link></via-link>\r\n");

  // A dangling link is replaced by the file; nothing appears where it pointed.
  const std::string dangling = qxtest::TempPath("dangling.xml");
  const std::string nowhere = qxtest::TempPath("nowhere.xml");
  ASSERT_EQ(symlink(nowhere.c_str(), dangling.c_str()), 0);
  other.save(qx::Utf8ToUtf16(dangling));
  ASSERT_EQ(lstat(dangling.c_str(), &lst), 0);
  EXPECT_TRUE(S_ISREG(lst.st_mode));
  EXPECT_FALSE(std::filesystem::exists(nowhere));
}

// A link in a sticky, world-writable folder is followed only when the
// caller or the folder's owner owns it; elsewhere links are followed.
TEST(XmlDomSave, LinksPlantedByAnotherUserInASharedFolderAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "making files of other users needs root";
  constexpr uid_t kOther = 4242;
  constexpr uid_t kFolderOwner = 4343;
  const uid_t self = geteuid();
  const struct {
    const char* name;
    mode_t folderMode;
    uid_t folderOwner;
    uid_t linkOwner;
    bool followed;
  } cases[] = {
      {"shared, other's link", 01777, self, kOther, false},
      {"shared folder of another, other's link", 01777, kFolderOwner, kOther, false},
      {"shared, own link", 01777, kFolderOwner, self, true},
      {"shared, folder owner's link", 01777, kFolderOwner, kFolderOwner, true},
      {"not sticky", 0777, self, kOther, true},
      {"sticky, not world-writable", 01755, self, kOther, true},
  };
  int serial = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = qxtest::TempPath("shared" + std::to_string(++serial));
    std::filesystem::create_directories(folder);
    const std::string victim =
        qxtest::WriteTempFile("victim" + std::to_string(serial), "<victim/>");
    ASSERT_EQ(chmod(victim.c_str(), 0600), 0);
    const std::string link = folder + "/cat.xml";
    ASSERT_EQ(symlink(victim.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), c.linkOwner, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chown(folder.c_str(), c.folderOwner, static_cast<gid_t>(-1)), 0);
    ASSERT_EQ(chmod(folder.c_str(), c.folderMode), 0);
    Document doc;
    doc.appendChild(doc.createElement(u"saved"));
    if (c.followed) {
      doc.save(qx::Utf8ToUtf16(link));
      EXPECT_EQ(ReadFile(victim), "<saved></saved>\r\n");
    } else {
      try {
        doc.save(qx::Utf8ToUtf16(link));
        ADD_FAILURE() << "the planted link was followed";
      } catch (const DomError& e) {
        EXPECT_EQ(e.hr, E_ACCESSDENIED);
        EXPECT_NE(e.description.find(u"link owned by another user"), std::u16string::npos);
      }
      EXPECT_EQ(ReadFile(victim), "<victim/>");
      struct stat st {};
      ASSERT_EQ(lstat(link.c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
    struct stat st {};
    ASSERT_EQ(stat(victim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
  }
}

TEST(XmlDomSave, SaveRemovesItsOwnStaleTemporaryFiles) {
  const std::string folder = qxtest::TempPath("stale");
  std::filesystem::create_directories(folder);
  const auto twoHoursAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
  const struct {
    const char* name;
    bool old;
    bool removed;
  } files[] = {
      {".cat.xml.tmp-a1b2c3", true, true},
      {".cat.xml.tmp-d4e5f6", false, false},  // a save may still be writing it
      {".cat.xml.tmp-a1b2c3d", true, false},  // not the temporary name
      {".cat.xml.tmp-A1B2C3", true, false},
      {".other.xml.tmp-a1b2c3", true, false},  // another file's
      {"cat.xml.tmp-a1b2c3", true, false},
  };
  for (const auto& f : files) {
    const std::string path = qxtest::WriteTempFile(std::string("stale/") + f.name, "partial");
    if (f.old) std::filesystem::last_write_time(path, twoHoursAgo);
  }
  Document doc;
  doc.appendChild(doc.createElement(u"r"));
  doc.save(qx::Utf8ToUtf16(folder + "/cat.xml"));
  for (const auto& f : files) {
    EXPECT_EQ(std::filesystem::exists(folder + "/" + f.name), !f.removed) << f.name;
  }
}

}  // namespace
