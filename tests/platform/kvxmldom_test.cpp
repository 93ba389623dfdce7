// Tests of kvxmldom: file round trips, walking, malformed or hostile input.
#include "kvxmldom/kvxmldom.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class XmlDomTest : public ::testing::Test {
 protected:
  static std::string value(const KvDomNode& node) {
    return node.getValue().str();
  }
  static std::string attribute(const KvDomNode& node, const char* name) {
    KvbString out("<absent>");
    node.getAttribute(name, out);
    return out.str();
  }

  TempDir temp_;
  const fs::path dir_ = temp_.path();
};

// Texts that XML must escape or could alter: quotes, markup, line ends,
// white space alone, non-ASCII and a control character.
const char* const kAwkwardTexts[] = {
    "it's \"quoted\"",
    "a < b && c > d ]]>",
    "line 1\nline 2\r\nline 3\r",
    " ",
    "  padded\t",
    "Zoë ж 中 😀",
    "\x01",
    "",
};

TEST_F(XmlDomTest, AttributesAndTextsSurviveAFileRoundTrip) {
  for (bool pretty : {true, false}) {
    KvDom dom;
    KvDomNode root = dom.startDocument("kvTable");
    ASSERT_FALSE(root.isNull());
    root.addChild("table_name", "MCDIST12");
    KvDomNode data = root.addChild("data");
    for (const char* text : kAwkwardTexts) {
      KvDomNode v = data.addChild("value", text);
      ASSERT_FALSE(v.isNull());
      ASSERT_TRUE(v.setAttribute("is_null", "0"));
      ASSERT_TRUE(v.setAttribute("copy", text));
    }
    const std::string file = (dir_ / "t.xml").string();
    ASSERT_TRUE(dom.createFile(file, pretty)) << dom.getErrorMessage().str();

    KvDom back;
    ASSERT_TRUE(back.loadFile(file)) << back.getErrorMessage().str();
    KvDomNode r = back.getRoot();
    EXPECT_EQ(r.getName().str(), "kvTable");
    EXPECT_EQ(value(r.getChild("table_name")), "MCDIST12");
    KvDomNode v = r.getChild("data").getFirstChild();
    for (const char* text : kAwkwardTexts) {
      ASSERT_FALSE(v.isNull());
      EXPECT_EQ(value(v), text) << "pretty " << pretty;
      EXPECT_EQ(attribute(v, "copy"), text) << "pretty " << pretty;
      EXPECT_EQ(attribute(v, "is_null"), "0");
      v = v.getNextSibling();
    }
    EXPECT_TRUE(v.isNull());
  }
}

TEST_F(XmlDomTest, WalksElementsOnlyAndComparesNamesExactly) {
  KvDom dom;
  ASSERT_TRUE(dom.loadXML(
      "<?xml version=\"1.0\"?>\n<!-- head -->\n<progexec a='1'>\n"
      "  text<!-- &nope; --><file>C:\\logs\\</file>\n  <?pi x?>\n"
      "  <Name>X</Name><name><![CDATA[a & <b>]]></name>tail\n</progexec>"))
      << dom.getErrorMessage().str();
  KvDomNode root = dom.getRoot();
  EXPECT_EQ(root.getChildCount(), 3);
  EXPECT_EQ(root.getFirstChild().getName().str(), "file");
  EXPECT_EQ(root.getFirstChild().getNextSibling().getName().str(), "Name");
  EXPECT_EQ(value(root.getChild("file")), "C:\\logs\\");
  EXPECT_EQ(value(root.getChild("name")), "a & <b>");
  EXPECT_EQ(value(root.getChild("Name")), "X");
  EXPECT_TRUE(root.getChild("NAME").isNull());
  EXPECT_EQ(attribute(root, "a"), "1");
  std::vector<KvbString> names{"stale"};
  root.getAttributeNames(names);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].str(), "a");
  root.getChild("file").getAttributeNames(names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(attribute(root, "A"), "<absent>");
  // Its own text only, not that of the child elements.
  EXPECT_EQ(value(root), "\n  texttail\n");

  KvDomNode file = root.getChild("file");
  EXPECT_TRUE(file.setValue("D:\\"));
  EXPECT_EQ(value(file), "D:\\");
  EXPECT_TRUE(file.setValue(""));
  EXPECT_EQ(value(file), "");

  // Names that could not be read back are refused.
  EXPECT_TRUE(root.addChild("two words").isNull());
  EXPECT_TRUE(root.addChild("1st").isNull());
  EXPECT_FALSE(root.setAttribute("a\"b", "v"));
  EXPECT_TRUE(root.setAttribute("ns:a-b.c_1", "v"));
  EXPECT_EQ(root.getChildCount(), 3);

  // Siblings are elements only; character references take either case.
  ASSERT_TRUE(
      dom.loadXML("<a><b>&#x6a;&#x4A;</b>mid<![CDATA[x]]><!--c--><c/></a>"));
  EXPECT_EQ(dom.getRoot().getFirstChild().getNextSibling().getName().str(),
            "c");
  EXPECT_EQ(value(dom.getRoot().getFirstChild()), "jJ");

  KvDomNode null;
  EXPECT_TRUE(null.getName().isNull());
  EXPECT_TRUE(null.addChild("x").getFirstChild().isNull());
}

TEST_F(XmlDomTest, MalformedInputFailsWithAPositionedError) {
  const std::string cases[] = {
      "",
      "   \n",
      "<kvTable><data><row>",  // truncated
      "<a><b></a></b>",        // mismatched
      "<a>&foo;</a>",          // undefined entity
      "<a>fish & chips</a>",   // bare ampersand
      "<a x='&bar;'/>",        // undefined entity in an attribute
      "<a>&#0;</a>",           // reference to no character
      "<a>&#xD800;</a>",
      "<a>&#xdfff;</a>",
      "<a x='<'/>",
      "<a/><b/>",  // two roots
      "<kvTable/>trailing junk",
      std::string("<a>\0</a>", 8),           // NUL byte
      "\x89PNG\r\n\x1a\n\xff\xfe<\x01\x02",  // binary junk
      "<?xml version='1.0'?>\n<!DOCTYPE lolz [\n <!ENTITY lol 'lol'>\n"
      " <!ENTITY lol2 '&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;'>\n"
      "]>\n<lolz>&lol2;</lolz>",  // billion laughs
      "<!DOCTYPE a SYSTEM 'file:///etc/passwd'><a>&x;</a>",
  };
  for (const std::string& text : cases) {
    KvDom dom;
    EXPECT_FALSE(dom.loadXML(KvbString(text.data(), text.size()))) << text;
    EXPECT_NE(dom.getErrorMessage().str().find("line "), std::string::npos)
        << text;
    EXPECT_TRUE(dom.getRoot().isNull()) << text;
  }

  KvDom dom;
  ASSERT_FALSE(dom.loadXML("<a>\n<b>\n  &bad;</b></a>"));
  EXPECT_NE(dom.getErrorMessage().str().find("line 3, column 3"),
            std::string::npos)
      << dom.getErrorMessage().str();
  // A failed load leaves no part of the earlier document behind.
  ASSERT_TRUE(dom.loadXML("<ok/>"));
  ASSERT_FALSE(dom.loadXML("<ok><x>"));
  EXPECT_TRUE(dom.getRoot().isNull());
}

TEST_F(XmlDomTest, FileFailuresAreReported) {
  KvDom dom;
  const std::string missing = (dir_ / "nope" / "t.xml").string();
  EXPECT_FALSE(dom.loadFile(missing));
  EXPECT_NE(dom.getErrorMessage().str().find(missing), std::string::npos);
  EXPECT_FALSE(dom.loadFile(dir_.string()));

  EXPECT_FALSE(dom.createFile((dir_ / "empty.xml").string(), true));  // no root
  KvbString text;
  EXPECT_TRUE(dom.startDocument("1st").isNull());
  EXPECT_EQ(dom.getErrorMessage().str(), "Not an XML element name: '1st'");
  EXPECT_FALSE(dom.saveXML(text, false));
  EXPECT_EQ(dom.getErrorMessage().str(),
            "Cannot write XML text: the document has no root element");
  dom.startDocument("kvTable").addChild("data", std::string(100000, 'x'));
  EXPECT_FALSE(dom.createFile(missing, true));
  EXPECT_FALSE(dom.getErrorMessage().isEmpty());
  // The device takes nothing: the failure must surface, not be swallowed by
  // buffering.
  if (::access("/dev/full", W_OK) == 0) {
    EXPECT_FALSE(dom.createFile("/dev/full", false));
    EXPECT_NE(dom.getErrorMessage().str().find("space"), std::string::npos);
  }
}

}  // namespace
