// Reading documents: encodings, markup kinds, queries and hostile input.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "feed/xml_dom/xml_document.h"
#include "qxnet/text.h"
#include "tests/support/com_test.h"
#include "tests/support/files.h"

namespace {

using qx::xml::Document;
using qx::xml::Node;
using qxtest::Narrow;
using qxtest::WriteTempFile;

bool LoadText(Document& doc, const std::string& bytes) {
  return doc.load(qx::Utf8ToUtf16(WriteTempFile("doc.xml", bytes)));
}

TEST(XmlDomLoad, FeedQueriesAndText) {
  Document doc;
  ASSERT_TRUE(
      LoadText(doc,
               "<?xml version=\"1.0\"?>\n"
               "<!-- a feed -->\n"
               "<wrapper xmlns:ext=\"urn:x\"><rss version=\"2.0\">\n"
               "  <channel><title>One</title>\n"
               "    <ext:item><title>not an item</title></ext:item>\n"
               "    <item required=\"TRUE\"><title>A &amp; B &lt;c&gt; &#x263A;&#65;</title>"
               "<description><![CDATA[<b>bold</b> & raw]]><!-- hidden --> tail</description>"
               "<link>x<?pi ignored?>y</link></item>\n"
               "    <item><title>Second</title><ext:title>ext</ext:title></item>\n"
               "  </channel>\n"
               "  <channel><title>Two</title></channel>\n"
               "</rss></wrapper>"))
      << Narrow(doc.parseError().reason);
  const Node root = doc.documentElement();
  ASSERT_TRUE(root);
  EXPECT_EQ(root.nodeName(), u"wrapper");
  const Node rss = root.selectSingleNode(u"//rss");
  ASSERT_TRUE(rss);
  EXPECT_EQ(root.selectSingleNode(u"//missing"), Node());

  const auto channels = rss.selectNodes(u"./channel");
  ASSERT_EQ(channels.length(), 2u);
  EXPECT_FALSE(channels.item(2));
  EXPECT_EQ(channels.item(1).selectSingleNode(u"./title").text(), u"Two");
  EXPECT_EQ(channels.item(1).selectNodes(u"./item").length(), 0u);

  const auto items = channels.item(0).selectNodes(u"./item");
  ASSERT_EQ(items.length(), 2u);  // ext:item is not an item
  const Node first = items.item(0);
  EXPECT_EQ(first.selectSingleNode(u"./title").text(), u"A & B <c> \u263AA");
  EXPECT_EQ(first.selectSingleNode(u"./description").text(), u"<b>bold</b> & raw tail");
  EXPECT_EQ(first.selectSingleNode(u"./link").text(), u"xy");
  EXPECT_EQ(first.getAttribute(u"required"), std::optional<std::u16string>(u"TRUE"));
  EXPECT_EQ(items.item(1).getAttribute(u"required"), std::nullopt);
  EXPECT_EQ(items.item(1).selectSingleNode(u"./title").text(), u"Second");
  // An element's text includes its descendants' text and whitespace.
  EXPECT_EQ(items.item(1).text(), u"Secondext");
  EXPECT_EQ(channels.item(0).selectSingleNode(u"./title").text(), u"One");
  // The root itself matches a "//" query.
  Document bare;
  ASSERT_TRUE(LoadText(bare, "<rss><channel/></rss>"));
  EXPECT_EQ(bare.documentElement().selectSingleNode(u"//rss"), bare.documentElement());
  // A root whose name only starts or ends like the one asked for is not it.
  for (const char* root : {"rssx", "xrss", "RSS"}) {
    Document nested;
    ASSERT_TRUE(LoadText(nested, std::string("<") + root + "><rss/></" + root + ">"));
    const Node inner = nested.documentElement().firstChild();
    EXPECT_EQ(inner.selectSingleNode(u"//rss"), inner) << root;
  }
}

TEST(XmlDomLoad, EncodingsWithAndWithoutMarks) {
  const std::u16string text = u"<r a=\"\u00e9\">caf\u00e9 \u20ac \U0001F600</r>";
  auto utf16 = [&](bool little, bool bom) {
    std::string bytes;
    if (bom) bytes += little ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
    for (char16_t c : std::u16string(u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>") + text) {
      const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
      bytes += little ? std::string{lo, hi} : std::string{hi, lo};
    }
    return bytes;
  };
  auto utf32le = [&]() {
    std::string bytes("\xFF\xFE\0\0", 4);
    for (char32_t c : std::u32string(U"<r a=\"\u00e9\">caf\u00e9 \u20ac \U0001F600</r>")) {
      for (int k = 0; k < 4; ++k) bytes.push_back(static_cast<char>((c >> (8 * k)) & 0xFF));
    }
    return bytes;
  };
  const std::string cases[] = {
      utf16(true, true),
      utf16(false, true),
      utf16(true, false),
      utf16(false, false),
      utf32le(),
      "\xEF\xBB\xBF<r a=\"\xC3\xA9\">caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80</r>",
      "<r a=\"\xC3\xA9\">caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80</r>",
  };
  for (const std::string& bytes : cases) {
    Document doc;
    ASSERT_TRUE(LoadText(doc, bytes)) << Narrow(doc.parseError().reason);
    EXPECT_EQ(doc.documentElement().text(), u"caf\u00e9 \u20ac \U0001F600");
    EXPECT_EQ(doc.documentElement().getAttribute(u"a"), std::optional<std::u16string>(u"\u00e9"));
  }
  // Declared 8-bit encodings are converted.
  for (const auto& [bytes, text] :
       {std::pair{"<?xml version='1.0' encoding='ISO-8859-1'?><r>caf\xE9 \xFF</r>",
                  u"caf\u00e9 \u00ff"},
        std::pair{"<?xml version=\"1.0\" encoding=\"windows-1252\"?><r>\x80</r>", u"\u20ac"}}) {
    Document doc;
    ASSERT_TRUE(LoadText(doc, bytes)) << bytes;
    EXPECT_EQ(doc.documentElement().text(), text);
  }
  Document unknown;
  EXPECT_FALSE(LoadText(unknown, "<?xml version='1.0' encoding='x-no-such'?><r/>"));
  EXPECT_NE(unknown.parseError().reason.find(u"x-no-such"), std::u16string::npos);
}

struct BadInput {
  const char* name;
  std::string bytes;
  long filepos;
};

TEST(XmlDomLoad, MalformedInputGivesReasonAndPosition) {
  const BadInput cases[] = {
      {"empty", "", 0},
      {"whitespace only", "  \n ", 4},
      {"truncated", "<a><b>text</b>", 13},  // at the last character
      {"mismatched tags", "<a>\n<b></c></a>", 9},
      {"two roots", "<a/><b/>", 5},
      {"text after root", "<a/>junk", 4},
      {"bad attribute", "<a x=1/>", 5},
      {"invalid UTF-8", "<a>\xC3\xA9\xFF</a>", 4},
      {"control character", "<a>\x01</a>", 3},
      {"binary",
       std::string("\x7F"
                   "ELF\x02\x01\x01\0\0\0<\x80\x90",
                   14),
       4},
      {"unpaired surrogate", std::string("\xFF\xFE<\0a\0>\0\x00\xD8x\0", 12), 3},
      {"odd UTF-16 length", std::string("\xFF\xFE<\0a\0/\0>\0x", 11), 4},
  };
  for (const BadInput& bad : cases) {
    Document doc;
    EXPECT_FALSE(LoadText(doc, bad.bytes)) << bad.name;
    const auto& error = doc.parseError();
    EXPECT_FALSE(error.reason.empty()) << bad.name;
    EXPECT_EQ(error.errorCode, E_FAIL) << bad.name;
    EXPECT_EQ(error.filepos, bad.filepos) << bad.name << ": " << Narrow(error.reason);
    EXPECT_GE(error.line, 1) << bad.name;
    EXPECT_FALSE(doc.documentElement()) << bad.name;
  }
  // Positions count characters, not bytes: the error is at the name in
  // "</a>", 12 characters (14 bytes) from the start, column 8 of line 2.
  Document doc;
  EXPECT_FALSE(LoadText(doc, "<a>\r\n\xC3\xA9\xC3\xA9<b></a>"));
  EXPECT_EQ(doc.parseError().line, 2);
  EXPECT_EQ(doc.parseError().filepos, 12);
  EXPECT_EQ(doc.parseError().linepos, 8);
}

TEST(XmlDomLoad, UnreadableFilesGiveAReason) {
  Document doc;
  EXPECT_FALSE(doc.load(qx::Utf8ToUtf16(qxtest::TempPath("missing.xml"))));
  EXPECT_FALSE(doc.parseError().reason.empty());
  EXPECT_NE(doc.parseError().errorCode, S_OK);
  EXPECT_EQ(doc.parseError().filepos, 0);

  EXPECT_FALSE(doc.load(qx::Utf8ToUtf16(qxtest::TestRoot())));  // a folder
  EXPECT_FALSE(doc.load(u""));
  EXPECT_FALSE(doc.load(u"/dev/null"));  // not a regular file
  const std::string fifo = qxtest::TempPath("pipe");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(doc.load(qx::Utf8ToUtf16(fifo)));  // refused without blocking
  // A failed load leaves an empty document; a later load works.
  ASSERT_TRUE(LoadText(doc, "<ok/>"));
  EXPECT_EQ(doc.parseError().errorCode, S_OK);
  EXPECT_EQ(doc.documentElement().nodeName(), u"ok");
}

TEST(XmlDomLoad, EntityDefinitionsAreNeverExpanded) {
  std::string laughs = "<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n <!ENTITY lol \"lol\">\n";
  laughs += " <!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
  for (int i = 2; i <= 9; ++i) {
    laughs += " <!ENTITY lol" + std::to_string(i) + " \"";
    for (int k = 0; k < 10; ++k) laughs += "&lol" + std::to_string(i - 1) + ";";
    laughs += "\">\n";
  }
  laughs += " <!ENTITY ext SYSTEM \"http://127.0.0.1:9/never\">\n]>\n<lolz>&lol9;&ext;</lolz>";
  Document doc;
  ASSERT_TRUE(LoadText(doc, laughs)) << Narrow(doc.parseError().reason);
  // The references stay as written: nothing grew, nothing was fetched.
  EXPECT_EQ(doc.documentElement().text(), u"&lol9;&ext;");

  // Deeply nested declarations in a DOCTYPE are refused, not recursed into.
  std::string nested = "<!DOCTYPE a [";
  for (int i = 0; i < 200000; ++i) nested += "<![";
  nested += "]><a/>";
  EXPECT_FALSE(LoadText(doc, nested));
  EXPECT_FALSE(doc.parseError().reason.empty());
}

TEST(XmlDomLoad, DeepNestingDoesNotExhaustTheStack) {
  constexpr int kDepth = 100000;
  std::string deep;
  deep.reserve(kDepth * 16);
  for (int i = 0; i < kDepth; ++i) deep += "<item>";
  deep += "<guid>g</guid>";
  for (int i = 0; i < kDepth; ++i) deep += "t</item>";
  Document doc;
  ASSERT_TRUE(LoadText(doc, deep)) << Narrow(doc.parseError().reason);
  const Node root = doc.documentElement();
  EXPECT_EQ(root.text().size(), static_cast<size_t>(kDepth) + 1);
  EXPECT_EQ(root.selectNodes(u"//item").length(), static_cast<size_t>(kDepth));
  EXPECT_EQ(root.selectSingleNode(u"//guid").text(), u"g");
  EXPECT_EQ(root.selectNodes(u"./item").length(), 1u);
  // Replacing the text of the root drops the whole deep subtree.
  Node copy = root;
  copy.setText(u"flat");
  EXPECT_EQ(root.text(), u"flat");
  EXPECT_FALSE(root.selectSingleNode(u"//guid"));
  // The unclosed variant is an error at the end, not a crash.
  std::string open_only;
  for (int i = 0; i < kDepth; ++i) open_only += "<a>";
  EXPECT_FALSE(LoadText(doc, open_only));
}

TEST(XmlDomLoad, InvalidQueriesRaiseDomErrors) {
  Document doc;
  ASSERT_TRUE(LoadText(doc, "<a/>"));
  try {
    doc.documentElement().selectNodes(u"./[");
    ADD_FAILURE() << "no error";
  } catch (const qx::xml::DomError& e) {
    EXPECT_EQ(e.hr, E_FAIL);
    EXPECT_FALSE(e.description.empty());
  }
  EXPECT_THROW(Node().selectSingleNode(u"//a"), qx::xml::DomError);
}

// A reader frees what it has read: the children up to a given one go, the
// rest stay; a node that is not a child removes nothing.
TEST(XmlDomLoad, ChildrenReadCanBeRemovedUpToAGivenOne) {
  Document doc;
  ASSERT_TRUE(LoadText(doc, "<list> <a><x>inner</x></a>t<b>1</b> <c>2</c><d>3</d></list>"));
  Node list = doc.documentElement();
  const Node a = list.firstChild().nextSibling();
  const Node inner = a.firstChild();
  const Node b = list.selectSingleNode(u"./b");
  EXPECT_STREQ(a.elementNameUtf8(), "a");
  EXPECT_STREQ(list.firstChild().elementNameUtf8(), "");  // text has no element name

  list.removeChildrenThrough(inner);  // a grandchild: nothing
  list.removeChildrenThrough(list);   // itself: nothing
  EXPECT_EQ(list.text(), u" innert1 23");
  list.removeChildrenThrough(b);
  EXPECT_EQ(list.text(), u" 23");
  EXPECT_STREQ(list.firstChild().nextSibling().elementNameUtf8(), "c");
}

}  // namespace
