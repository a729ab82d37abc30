#include "ui/core/markup_document.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scoped_temp_dir.h"
#include "ui/core/global_manager.h"

namespace ui {
namespace {

using testing_support::ScopedTempDir;
using testing_support::WriteBytes;

std::wstring Attr(const MarkupNode& node, const wchar_t* name) {
  wchar_t value[MarkupNode::kAttributeBufferSize];
  if (!node.GetAttributeValue(name, value)) return L"<missing>";
  return value;
}

std::vector<std::wstring> ChildNames(const MarkupNode& node) {
  std::vector<std::wstring> names;
  for (MarkupNode child = node.GetChild(); child.IsValid(); child = child.GetSibling()) {
    names.push_back(child.GetName());
  }
  return names;
}

// Loads |text| expecting failure; answers the recorded message.
std::wstring FailureOf(const wchar_t* text) {
  MarkupDocument doc;
  EXPECT_FALSE(doc.LoadFromText(text)) << text;
  EXPECT_FALSE(doc.GetRoot().IsValid());
  return doc.GetLastErrorMessage();
}

TEST(MarkupDocumentTest, EmptyAndBlankTextsParseWithoutElements) {
  MarkupDocument doc;
  EXPECT_TRUE(doc.LoadFromText(L""));
  EXPECT_FALSE(doc.GetRoot().IsValid());
  EXPECT_TRUE(doc.LoadFromText(L"  \r\n\t "));
  EXPECT_FALSE(doc.GetRoot().IsValid());
  EXPECT_STREQ(L"", doc.GetLastErrorMessage());
}

TEST(MarkupDocumentTest, BuildsTreeWithNamesAttributesAndText) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(
      L"<Window size=\"800,600\" caption = \"0,0,0,36\">\n"
      L"  <VBox name=\"main\"><Label text=\"Hi\" /><Button/>\n<Label>caption text</Label></VBox>\n"
      L"  <Include source=\"x.xml\"></Include>\n"
      L"</Window>"));
  MarkupNode root = doc.GetRoot();
  ASSERT_TRUE(root.IsValid());
  EXPECT_STREQ(L"Window", root.GetName());
  EXPECT_FALSE(root.GetParent().IsValid());
  EXPECT_FALSE(root.GetSibling().IsValid());
  ASSERT_EQ(2, root.GetAttributeCount());
  EXPECT_STREQ(L"size", root.GetAttributeName(0));
  EXPECT_STREQ(L"800,600", root.GetAttributeValue(0));
  EXPECT_STREQ(L"caption", root.GetAttributeName(1));
  EXPECT_STREQ(L"0,0,0,36", root.GetAttributeValue(1));
  EXPECT_STREQ(L"", root.GetAttributeName(2));
  EXPECT_EQ((std::vector<std::wstring>{L"VBox", L"Include"}), ChildNames(root));

  MarkupNode box = root.GetChild();
  EXPECT_EQ(L"main", Attr(box, L"name"));
  EXPECT_EQ(L"<missing>", Attr(box, L"Name"));  // case-sensitive
  EXPECT_TRUE(box.HasChildren());
  EXPECT_STREQ(L"Window", box.GetParent().GetName());
  EXPECT_EQ((std::vector<std::wstring>{L"Label", L"Button", L"Label"}), ChildNames(box));
  MarkupNode label = box.GetChild();
  EXPECT_EQ(L"Hi", Attr(label, L"text"));
  EXPECT_FALSE(label.HasChildren());
  MarkupNode button = label.GetSibling();
  EXPECT_EQ(0, button.GetAttributeCount());
  EXPECT_STREQ(L"", button.GetValue());
  EXPECT_STREQ(L"caption text", button.GetSibling().GetValue());
  EXPECT_EQ(L"x.xml", Attr(box.GetSibling(), L"source"));
  EXPECT_FALSE(box.GetSibling().HasChildren());
}

TEST(MarkupDocumentTest, NamesMayHoldNonAsciiLettersAndDigits) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(L"<\u6309\u94AE_1 \u6587\u5B57:x=\"\u00E9\"></\u6309\u94AE_1>"));
  EXPECT_STREQ(L"\u6309\u94AE_1", doc.GetRoot().GetName());
  EXPECT_STREQ(L"\u6587\u5B57:x", doc.GetRoot().GetAttributeName(0));
  EXPECT_EQ(L"\u00E9", Attr(doc.GetRoot(), L"\u6587\u5B57:x"));
  // Punctuation outside ASCII is not part of a name.
  EXPECT_EQ(L"Error while parsing attributes", FailureOf(L"<A b\u3002=\"1\"/>"));
}

TEST(MarkupDocumentTest, InvalidNodesAnswerEmpty) {
  MarkupNode none;
  EXPECT_FALSE(none.IsValid());
  EXPECT_FALSE(none.GetChild().IsValid());
  EXPECT_STREQ(L"", none.GetName());
  EXPECT_EQ(0, none.GetAttributeCount());
  wchar_t value[MarkupNode::kAttributeBufferSize] = L"keep";
  EXPECT_FALSE(none.GetAttributeValue(L"a", value));
  EXPECT_STREQ(L"keep", value);

  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(L"<A/>"));
  EXPECT_FALSE(MarkupNode(&doc, 0).IsValid());
  EXPECT_FALSE(MarkupNode(&doc, 99).IsValid());
}

TEST(MarkupDocumentTest, RootAndItsChildrenMayStayOpenAtTheEnd) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(L"<Root a=\"1\">text &amp; more"));
  EXPECT_STREQ(L"Root", doc.GetRoot().GetName());
  EXPECT_STREQ(L"text & more", doc.GetRoot().GetValue());
  EXPECT_EQ(L"1", Attr(doc.GetRoot(), L"a"));

  ASSERT_TRUE(doc.LoadFromText(L"<Root><Child>"));
  EXPECT_STREQ(L"Root", doc.GetRoot().GetName());
  EXPECT_STREQ(L"Child", doc.GetRoot().GetChild().GetName());

  // A, B open, C closed: B's child list ends with the text.
  EXPECT_EQ(L"Expected start tag", FailureOf(L"<A><B><C></C>"));
  EXPECT_EQ(L"Expected end-tag start", FailureOf(L"<A><B><C>text"));
}

TEST(MarkupDocumentTest, ClosingTagMustMatchExactly) {
  EXPECT_EQ(L"Unmatched closing tag", FailureOf(L"<Box></Bax>"));
  EXPECT_EQ(L"Unmatched closing tag", FailureOf(L"<Box></Boxx>"));
  EXPECT_EQ(L"Unmatched closing tag", FailureOf(L"<Box></box>"));
  MarkupDocument doc;
  EXPECT_TRUE(doc.LoadFromText(L"<Box></ Box >"));
  // A closing tag at the top level ends the document; the rest is ignored.
  ASSERT_TRUE(doc.LoadFromText(L"<A/></Z> anything <"));
  EXPECT_STREQ(L"A", doc.GetRoot().GetName());
}

TEST(MarkupDocumentTest, SelfClosingElementsAreEmptyWithOrWithoutSpace) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(L"<R><A/><B /><C x=\"1\"/><D>d</D></R>"));
  MarkupNode root = doc.GetRoot();
  EXPECT_EQ((std::vector<std::wstring>{L"A", L"B", L"C", L"D"}), ChildNames(root));
  for (MarkupNode child = root.GetChild(); child.IsValid(); child = child.GetSibling()) {
    EXPECT_FALSE(child.HasChildren()) << child.GetName();
  }
  EXPECT_STREQ(L"", root.GetChild().GetValue());
  EXPECT_EQ(0, root.GetChild().GetAttributeCount());
  EXPECT_EQ(0, root.GetChild().GetSibling().GetAttributeCount());
  EXPECT_EQ(L"1", Attr(root.GetChild().GetSibling().GetSibling(), L"x"));
}

TEST(MarkupDocumentTest, DecodesTheFiveEntitiesOnly) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(
      L"<A a=\"x&amp;y\" b=\"&lt;&gt;&quot;&apos;&amp;amp;\" c=\"&nbsp;&#65;&\" d=\"after\">"
      L"1 &lt; 2  &amp;&amp; 3<B/></A>"));
  MarkupNode a = doc.GetRoot();
  EXPECT_EQ(L"x&y", Attr(a, L"a"));
  EXPECT_EQ(L"<>\"'&amp;", Attr(a, L"b"));
  EXPECT_EQ(L"&nbsp;&#65;&", Attr(a, L"c"));
  // Shortened values do not hide the attributes behind them.
  EXPECT_EQ(4, a.GetAttributeCount());
  EXPECT_EQ(L"after", Attr(a, L"d"));
  EXPECT_STREQ(L"1 < 2  && 3", a.GetValue());
}

TEST(MarkupDocumentTest, AttributeSyntaxErrors) {
  EXPECT_EQ(L"Expected attribute value", FailureOf(L"<A b='1'/>"));
  EXPECT_EQ(L"Error while parsing attributes", FailureOf(L"<A data-x=\"1\"/>"));
  EXPECT_EQ(L"Error while parsing attributes", FailureOf(L"<A b/>"));
  EXPECT_EQ(L"Error while parsing attribute string", FailureOf(L"<A b=\"never closed"));
  EXPECT_EQ(L"Error parsing element name", FailureOf(L"<Abc"));
  EXPECT_EQ(L"Expected start-tag closing", FailureOf(L"<A b=\"1\" / ></A>"));
  EXPECT_EQ(L"Expected start tag", FailureOf(L"text<A/>"));
  EXPECT_EQ(L"Expected start tag", FailureOf(L"<A/> trailing"));
}

TEST(MarkupDocumentTest, ErrorLocationIsTheTextAtTheFailureTruncated) {
  MarkupDocument doc;
  const std::wstring tail(80, L'y');
  EXPECT_FALSE(doc.LoadFromText((L"<A b='" + tail + L"'/>").c_str()));
  EXPECT_EQ(L"'" + std::wstring(48, L'y'), doc.GetLastErrorLocation());
  // A later success clears both buffers.
  EXPECT_TRUE(doc.LoadFromText(L"<A/>"));
  EXPECT_STREQ(L"", doc.GetLastErrorMessage());
  EXPECT_STREQ(L"", doc.GetLastErrorLocation());
}

TEST(MarkupDocumentTest, OnlyTheFirst64AttributesAreVisible) {
  std::wstring text = L"<A";
  for (int i = 0; i < 70; ++i) {
    text += L" a" + std::to_wstring(i) + L"=\"v" + std::to_wstring(i) + L"\"";
  }
  text += L"/>";
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(text.c_str()));
  MarkupNode a = doc.GetRoot();
  EXPECT_EQ(64, a.GetAttributeCount());
  EXPECT_EQ(L"v63", Attr(a, L"a63"));
  EXPECT_EQ(L"<missing>", Attr(a, L"a64"));
}

TEST(MarkupDocumentTest, CallerBufferReceivesAtMost499Characters) {
  const std::wstring long_value(600, L'v');
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText((L"<A long=\"" + long_value + L"\"/>").c_str()));
  EXPECT_EQ(std::wstring(499, L'v'), Attr(doc.GetRoot(), L"long"));
  EXPECT_EQ(600u, std::wstring(doc.GetRoot().GetAttributeValue(0)).size());
  wchar_t small[8];
  ASSERT_TRUE(doc.GetRoot().GetAttributeValue(L"long", small, 8));
  EXPECT_STREQ(L"vvvvvvv", small);
}

TEST(MarkupDocumentTest, SkipsCommentsAndDeclarations) {
  MarkupDocument doc;
  ASSERT_TRUE(
      doc.LoadFromText(L"<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- <Fake/> -->\n"
                       L"<R><!-- between --><A/>\n  <!-- after --></R><!-- trailing -->"));
  EXPECT_STREQ(L"R", doc.GetRoot().GetName());
  EXPECT_EQ((std::vector<std::wstring>{L"A"}), ChildNames(doc.GetRoot()));
  // A declaration that never ends swallows the rest of the text.
  ASSERT_TRUE(doc.LoadFromText(L"<R/><!DOCTYPE x <Q/>"));
  EXPECT_FALSE(doc.GetRoot().GetSibling().IsValid());
}

TEST(MarkupDocumentTest, TextBetweenChildrenIsDropped) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(L"<R>lead &amp; in<A/>middle<B/>tail</R>"));
  EXPECT_STREQ(L"lead & in", doc.GetRoot().GetValue());
  EXPECT_EQ((std::vector<std::wstring>{L"A", L"B"}), ChildNames(doc.GetRoot()));
}

TEST(MarkupDocumentTest, DeepNestingAndManyElements) {
  const int depth = 200000;
  std::wstring text;
  for (int i = 0; i < depth; ++i) text += L"<a>";
  for (int i = 0; i < depth; ++i) text += L"</a>";
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(text.c_str()));
  int levels = 0;
  for (MarkupNode node = doc.GetRoot(); node.IsValid(); node = node.GetChild()) ++levels;
  EXPECT_EQ(depth, levels);

  std::wstring flat = L"<R>";
  for (int i = 0; i < 5000; ++i) flat += L"<C i=\"" + std::to_wstring(i) + L"\"/>";
  flat += L"</R>";
  ASSERT_TRUE(doc.LoadFromText(flat.c_str()));
  int count = 0;
  MarkupNode last;
  for (MarkupNode c = doc.GetRoot().GetChild(); c.IsValid(); c = c.GetSibling(), ++count) last = c;
  EXPECT_EQ(5000, count);
  EXPECT_EQ(L"4999", Attr(last, L"i"));
}

TEST(MarkupDocumentTest, ReloadsTextsShorterOrLongerThanTheLastOne) {
  // A reload copies into the previous buffer when the text fits, including
  // texts exactly as long as the first one.
  auto text = [](size_t value_length, wchar_t fill) {
    return L"<A v=\"" + std::wstring(value_length, fill) + L"\"/>";
  };
  MarkupDocument doc;
  for (const auto& step : {std::make_pair(size_t{40}, L'a'), std::make_pair(size_t{40}, L'b'),
                           std::make_pair(size_t{41}, L'c'), std::make_pair(size_t{3}, L'd'),
                           std::make_pair(size_t{41}, L'e'), std::make_pair(size_t{300}, L'f')}) {
    ASSERT_TRUE(doc.LoadFromText(text(step.first, step.second).c_str()));
    EXPECT_EQ(std::wstring(step.first, step.second), doc.GetRoot().GetAttributeValue(0));
    EXPECT_FALSE(doc.GetRoot().GetSibling().IsValid());
  }
}

TEST(MarkupDocumentTest, FailedLoadReleasesPreviousContent) {
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromText(L"<A/>"));
  EXPECT_FALSE(doc.LoadFromText(L"<A></B>"));
  EXPECT_FALSE(doc.GetRoot().IsValid());
  EXPECT_FALSE(doc.IsValid());
}

class MarkupFileTest : public ::testing::Test {
 protected:
  void TearDown() override { GlobalManager::SetResourcePath(L""); }
  ScopedTempDir dir_;
};

TEST_F(MarkupFileTest, SizeLimitsAndMissingFiles) {
  MarkupDocument doc;
  // Exactly 4 MiB: a root element padded with blanks.
  std::string exact = "<Root a=\"1\">";
  exact += std::string(MarkupDocument::kMaxFileSize - exact.size() - 7, ' ');
  exact += "</Root>";
  ASSERT_EQ(MarkupDocument::kMaxFileSize, exact.size());
  ASSERT_TRUE(WriteBytes(dir_.Child(L"exact.xml"), exact));
  EXPECT_TRUE(doc.LoadFromFile(dir_.Child(L"exact.xml").c_str())) << doc.GetLastErrorMessage();
  EXPECT_EQ(L"1", Attr(doc.GetRoot(), L"a"));

  ASSERT_TRUE(WriteBytes(dir_.Child(L"over.xml"), exact + " "));
  EXPECT_FALSE(doc.LoadFromFile(dir_.Child(L"over.xml").c_str()));
  EXPECT_STREQ(L"File too large", doc.GetLastErrorMessage());
  EXPECT_STREQ(L"", doc.GetLastErrorLocation());

  ASSERT_TRUE(WriteBytes(dir_.Child(L"empty.xml"), ""));
  EXPECT_FALSE(doc.LoadFromFile(dir_.Child(L"empty.xml").c_str()));
  EXPECT_STREQ(L"File is empty", doc.GetLastErrorMessage());

  EXPECT_FALSE(doc.LoadFromFile(dir_.Child(L"missing.xml").c_str()));
  EXPECT_STREQ(L"Error opening file", doc.GetLastErrorMessage());
}

TEST_F(MarkupFileTest, Utf8WithOrWithoutByteOrderMark) {
  MarkupDocument doc;
  const std::string body =
      "<!-- c --><?xml version=\"1.0\"?><Label text=\"\xE5\xAE\x89\xE8\xA3\x85\"/>";
  ASSERT_TRUE(WriteBytes(dir_.Child(L"bom.xml"), "\xEF\xBB\xBF" + body));
  ASSERT_TRUE(doc.LoadFromFile(dir_.Child(L"bom.xml").c_str())) << doc.GetLastErrorMessage();
  EXPECT_EQ(L"\u5B89\u88C5", Attr(doc.GetRoot(), L"text"));
  ASSERT_TRUE(WriteBytes(dir_.Child(L"plain.xml"), body));
  ASSERT_TRUE(doc.LoadFromFile(dir_.Child(L"plain.xml").c_str()));
  EXPECT_STREQ(L"Label", doc.GetRoot().GetName());
  // A byte-order mark alone leaves an empty document.
  ASSERT_TRUE(WriteBytes(dir_.Child(L"bom_only.xml"), "\xEF\xBB\xBF"));
  EXPECT_TRUE(doc.LoadFromFile(dir_.Child(L"bom_only.xml").c_str()));
  EXPECT_FALSE(doc.GetRoot().IsValid());
}

TEST_F(MarkupFileTest, RelativeNamesResolveAgainstTheResourcePath) {
  ASSERT_TRUE(::CreateDirectoryW(dir_.Child(L"basic").c_str(), nullptr));
  ASSERT_TRUE(WriteBytes(dir_.Child(L"basic\\basic.xml"), "<Window/>"));
  GlobalManager::SetResourcePath(dir_.path());
  MarkupDocument doc;
  ASSERT_TRUE(doc.LoadFromFile(L"basic\\basic.xml")) << doc.GetLastErrorMessage();
  EXPECT_STREQ(L"Window", doc.GetRoot().GetName());
  GlobalManager::SetResourcePath(L"Z:\\nowhere");
  EXPECT_TRUE(doc.LoadFromFile(dir_.Child(L"basic\\basic.xml").c_str()));
  EXPECT_FALSE(doc.LoadFromFile(L"basic\\basic.xml"));
}

}  // namespace
}  // namespace ui
