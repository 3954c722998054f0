#include "lists/xml_nesting.h"

#include <gtest/gtest.h>
#include <tinyxml.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace tarvex {
namespace {

constexpr size_t kNoLimit = 1000000;

// The deepest element level of TinyXML's tree: after an error, the depth it reached.
size_t TreeDepth(const TiXmlNode& node) {
  size_t deepest = 0;
  for (const TiXmlNode* child = node.FirstChild(); child; child = child->NextSibling()) {
    deepest = std::max(deepest, TreeDepth(*child) + (child->ToElement() ? 1 : 0));
  }
  return deepest;
}

// Never below the depth TinyXML reaches (that would let a deep file through);
// exact on a document TinyXML accepts.
::testing::AssertionResult MatchesTinyXml(const std::string& text, int* accepted = nullptr) {
  TiXmlDocument doc;
  doc.Parse(text.c_str(), nullptr, TIXML_ENCODING_LEGACY);
  if (accepted && !doc.Error()) ++*accepted;
  const size_t measured = XmlNestingDepth(text.c_str(), kNoLimit), reached = TreeDepth(doc);
  if (doc.Error() ? measured >= reached : measured == reached) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << text << ": " << measured << ", TinyXML " << reached;
}

TEST(XmlNestingTest, CountsLevelsUpToTheLimitIgnoringEndTagsOtherConstructsSwallow) {
  std::string deep;
  for (int i = 0; i < 100000; ++i) deep += "<a>";
  EXPECT_EQ(XmlNestingDepth(deep.c_str(), 10), 11u);
  EXPECT_EQ(XmlNestingDepth(deep.c_str(), kNoLimit), 100000u);
  for (const std::string hider : {"<!--</a>-->", "<![CDATA[</a>]]>", "<!DOCTYPE </a>",
                                  "<?xml v=\"</a\"?>", "<?xml version='></a>'?>", "&#x</a>x1;",
                                  "&#</a>#5;", "<b x=\"</a>\"/>", "<b x='&#x\"</a>x2;'/>"}) {
    std::string text;
    for (int i = 0; i < 50; ++i) text += "<a>" + hider;
    for (int i = 0; i < 50; ++i) text += "</a>";
    EXPECT_TRUE(MatchesTinyXml(text));
  }
}

TEST(XmlNestingTest, AgreesWithTinyXmlOnRandomDocuments) {
  const std::vector<std::string> pieces = {
      "<a>",       "</a>", "<b>", "</b>",  "<a/>",  "<b x=\"",   "\"",    "'",
      "\">",       "&#x",  "x1;", "&#",    "#5;",   ";",         "<!--",  "-->",
      "<![CDATA[", "]]>",  "<!",  ">",     "<?xml", " version=", "?>",    "t",
      " ",         "<",    "/>",  "&amp;", "</a >", "<_c>",      "</_c>", "\xE9"};
  std::mt19937 random(20240611);
  int accepted = 0;
  for (int round = 0; round < 20000 && !HasFailure(); ++round) {
    std::string text = round % 2 ? "<a>" : "";
    const int count = 1 + static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
    EXPECT_TRUE(MatchesTinyXml(round % 2 ? text + "</a>" : text, &accepted));
  }
  EXPECT_GT(accepted, 1000);  // enough for the exact comparison to mean much
}

}  // namespace
}  // namespace tarvex
