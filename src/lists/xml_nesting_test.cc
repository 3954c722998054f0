#include "lists/xml_nesting.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <random>
#include <string>
#include <vector>

namespace tarvex {
namespace {

constexpr size_t kNoLimit = 1000000;

// The deepest element level of the tree TinyXML built. Its parser links every
// node it started, so even after an error this is the depth it reached.
size_t TreeDepth(const TiXmlNode& node) {
  size_t deepest = 0;
  for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling()) {
    const size_t depth = TreeDepth(*child) + (child->ToElement() ? 1 : 0);
    if (depth > deepest) deepest = depth;
  }
  return deepest;
}

// The measure must never fall below the depth TinyXML reaches (it would let a
// deep file through), and must agree exactly on a document TinyXML accepts.
void ExpectMatchesTinyXml(const std::string& text) {
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  const size_t measured = XmlNestingDepth(text.c_str(), kNoLimit);
  if (doc.Error()) {
    EXPECT_GE(measured, TreeDepth(doc)) << text;
  } else {
    EXPECT_EQ(measured, TreeDepth(doc)) << text;
  }
}

TEST(XmlNestingTest, CountsElementLevelsUpToTheLimit) {
  EXPECT_EQ(XmlNestingDepth("<!-- only -->", kNoLimit), 0u);
  EXPECT_EQ(XmlNestingDepth("<L><MailID Name=\"a\"/><Domain Name='b'/></L>", kNoLimit), 2u);
  EXPECT_EQ(XmlNestingDepth("<a><b><c/></b><d/></a><e/>", kNoLimit), 3u);
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_EQ(XmlNestingDepth(deep.c_str(), 10), 11u);
  EXPECT_EQ(XmlNestingDepth(deep.c_str(), kNoLimit), 100000u);
}

// Each of these hides an end tag where TinyXML does not see one; counting it
// would under-state the depth TinyXML reaches.
TEST(XmlNestingTest, EndTagsSwallowedByOtherConstructsDoNotCount) {
  const std::vector<std::string> hiders = {
      "<!--</a>-->",              // comment
      "<![CDATA[</a>]]>",         // CDATA section
      "<!DOCTYPE </a>",           // unknown tag, up to its first ">"
      "<?xml v=\"</a\"?>",        // declaration: an unknown word runs to a space or ">"
      "<?xml version='></a>'?>",  // declaration: quoted version value
      "&#x</a>x1;",               // hexadecimal reference back to the last "x"
      "&#</a>#5;",                // decimal reference back to the last "#"
      "<b x=\"</a>\"/>",          // attribute value
      "<b x='&#x\"</a>x2;'/>",    // reference inside a value swallows the other quote
  };
  for (const std::string& hider : hiders) {
    std::string text;
    for (int i = 0; i < 50; ++i) text += "<a>" + hider;
    for (int i = 0; i < 50; ++i) text += "</a>";
    ExpectMatchesTinyXml(text);
    EXPECT_GE(XmlNestingDepth(text.c_str(), kNoLimit), 50u) << hider;
  }
}

TEST(XmlNestingTest, AgreesWithTinyXmlOnEdgeCases) {
  const std::vector<std::string> texts = {
      "<a x=1/>",
      "<a x=1\"/>",
      "<a x=\"1\" x=\"2\"/>",
      "<a><![CDATA[x]]>",
      "<a>x</a><b>",
      "<a/> junk <b><c/></b>",
      "<a></b><c/></a>",
      "<ab></a><c/></ab>",
      "<a></ab><c/></a>",
      "<a ></a >",
      "<a/ >",
      "<_a><\xE9t\xE9/></_a>",
      "<a><1><b/></a>",
      "<a>&#x;<b/></a>",
      "<a>&#xZ;<b/></a>",
      "<a>&#12;<b/></a>",
      "<a>&#;<b/></a>",
      "<a>&#x",
      "<a>&#",
      "<?XML version=\"1\"?><a/>",
      "<?xml version=1 <a/>",
      "<?xml ",
      "<a><?xml <b/></a>",
      "<a><!-- unclosed <b>",
      "<a><!x <b/>></a>",
      "<a>t</a>",
      "<a>\xFF<b/></a>",
      "<a b='&amp;&quot;'><c/></a>",
      "<a x = 'y' ><b/></a>",
  };
  for (const std::string& text : texts) ExpectMatchesTinyXml(text);
}

// Random sequences of the constructs above, checked against TinyXML.
TEST(XmlNestingTest, AgreesWithTinyXmlOnRandomDocuments) {
  const std::vector<std::string> pieces = {
      "<a>",       "</a>", "<b>", "</b>",  "<a/>",  "<b x=\"",   "\"",    "'",
      "\">",       "&#x",  "x1;", "&#",    "#5;",   ";",         "<!--",  "-->",
      "<![CDATA[", "]]>",  "<!",  ">",     "<?xml", " version=", "?>",    "t",
      " ",         "<",    "/>",  "&amp;", "</a >", "<_c>",      "</_c>", "\xE9"};
  std::mt19937 random(20240611);
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string text = round % 2 ? "<a>" : "";
    const int count = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    if (round % 2) text += "</a>";
    TiXmlDocument doc;
    doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
    if (!doc.Error()) ++accepted;
    ExpectMatchesTinyXml(text);
    if (HasFailure()) return;
  }
  EXPECT_GT(accepted, 1000);  // enough accepted documents for the exact comparison to mean much
}

}  // namespace
}  // namespace tarvex
