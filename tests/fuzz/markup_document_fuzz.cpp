// Robustness harness for the skin parser (ui/core/markup_document.h), built
// with a 16-bit wchar_t (markup_document_short_wchar.cpp); see
// fuzz_driver.h for how it runs. The input is a skin file: UTF-8, a leading
// byte-order mark dropped, converted as the parser's file loading does, and
// handed over in a buffer whose unused tail is filled with markup characters,
// so nothing past the NUL may matter. Per input:
// - a failed load leaves no root and names one of the parser's errors;
// - a parsed tree is walked without recursion: parents and children agree,
//   there are no more elements than "<", names are identifiers, attribute
//   lookups by name agree with those by index, and copies into caller
//   buffers of several sizes stay inside them and are prefixes of the value;
// - the tree written back as markup parses again, into a new document and
//   into the old one, to the same tree;
// - the text, escaped with the five entities (and some "&" left bare where
//   they start no entity), comes back whole as an attribute value and as
//   element text.
// A seed nests 100,000 elements deep: the parser must not recurse.
#include <windows.h>

#include <cwctype>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_driver.h"
#include "ui/core/markup_document.h"

namespace {

using fuzz::FuzzCheck;
using ui::MarkupDocument;
using ui::MarkupNode;
// Not std::wstring: the library's compiled wide strings have 32-bit
// characters.
using Text = std::vector<wchar_t>;

size_t Length(const wchar_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}

bool Same(const wchar_t* a, const wchar_t* b) {
  for (;; ++a, ++b) {
    if (*a != *b) return false;
    if (*a == 0) return true;
  }
}

bool Same(const wchar_t* a, const Text& b) {
  const size_t n = Length(a);
  if (n != b.size()) return false;
  for (size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

bool IsIdentifierChar(wchar_t c) {
  if (c < 128) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'_' || c == L':';
  }
  return std::iswalnum(c) != 0;
}

bool IsIdentifier(const wchar_t* s) {
  for (; *s != 0; ++s) {
    if (!IsIdentifierChar(*s)) return false;
  }
  return true;
}

void Append(Text* out, const wchar_t* s) {
  for (; *s != 0; ++s) out->push_back(*s);
}

// "&" is written as an entity only where the bare character would start one.
bool StartsEntity(const wchar_t* s) {
  for (const wchar_t* name : {L"amp;", L"lt;", L"gt;", L"quot;", L"apos;"}) {
    size_t i = 0;
    while (name[i] != 0 && s[i] == name[i]) ++i;
    if (name[i] == 0) return true;
  }
  return false;
}

// |s| escaped for an attribute value or element text; |variant| picks
// between equivalent spellings, so both are exercised.
void AppendEscaped(Text* out, const wchar_t* s, size_t length, unsigned variant) {
  for (size_t i = 0; i < length; ++i) {
    const bool alternate = ((i + variant) & 1) != 0;
    switch (s[i]) {
      case L'&':
        Append(out, alternate && !StartsEntity(s + i + 1) ? L"&" : L"&amp;");
        break;
      case L'<':
        Append(out, L"&lt;");
        break;
      case L'"':
        Append(out, L"&quot;");
        break;
      case L'>':
        Append(out, alternate ? L"&gt;" : L">");
        break;
      case L'\'':
        Append(out, alternate ? L"&apos;" : L"'");
        break;
      default:
        out->push_back(s[i]);
    }
  }
}

// A NUL-terminated copy in a buffer of whole 16-byte blocks (the parser's
// aligned scans read up to the end of the block that holds the NUL), the
// rest of the last block filled with characters the parser would act on.
Text Terminated(const Text& text) {
  Text buffer(text);
  buffer.push_back(0);
  while (buffer.size() % 8 != 0) buffer.push_back(L'<');
  return buffer;
}

const wchar_t* const kErrors[] = {L"Expected start tag",
                                  L"Error parsing element name",
                                  L"Expected start-tag closing",
                                  L"Expected end-tag start",
                                  L"Unmatched closing tag",
                                  L"Error while parsing attributes",
                                  L"Expected attribute value",
                                  L"Error while parsing attribute string",
                                  L"Out of memory"};

void CheckFailure(const MarkupDocument& doc) {
  FuzzCheck(!doc.IsValid() && !doc.GetRoot().IsValid(), "a failed load left a tree");
  bool known = false;
  for (const wchar_t* error : kErrors) known = known || Same(doc.GetLastErrorMessage(), error);
  FuzzCheck(known, "a failure without one of the parser's messages");
  FuzzCheck(Length(doc.GetLastErrorLocation()) <= 49, "an error location past 49 characters");
}

void CheckAttributes(const MarkupNode& node, size_t text_length) {
  const int count = node.GetAttributeCount();
  FuzzCheck(count >= 0 && count <= MarkupNode::kMaxAttributes, "an attribute count out of range");
  FuzzCheck(Length(node.GetAttributeName(count)) == 0 && Length(node.GetAttributeValue(-1)) == 0,
            "an attribute index out of range answers text");
  for (int i = 0; i < count; ++i) {
    const wchar_t* name = node.GetAttributeName(i);
    const wchar_t* value = node.GetAttributeValue(i);
    FuzzCheck(Length(name) > 0 && IsIdentifier(name), "an attribute name is no identifier");
    FuzzCheck(Length(value) <= text_length, "an attribute value longer than the text");
    FuzzCheck(node.HasAttribute(name), "HasAttribute misses a listed attribute");
    int first = 0;
    while (!Same(node.GetAttributeName(first), name)) ++first;
    const wchar_t* expected = node.GetAttributeValue(first);
    const size_t expected_length = Length(expected);
    FuzzCheck(!node.GetAttributeValue(name, nullptr, 10), "a copy into no buffer");
    for (size_t size : {size_t{1}, size_t{2}, size_t{17}, size_t{499}, size_t{500}, size_t{501}}) {
      // Exactly |size| characters, so that a copy past them is caught.
      Text buffer(size, L'#');
      FuzzCheck(node.GetAttributeValue(name, buffer.data(), size), "a copy by name failed");
      const size_t limit =
          (size < MarkupNode::kAttributeBufferSize ? size : MarkupNode::kAttributeBufferSize) - 1;
      const size_t copied = expected_length < limit ? expected_length : limit;
      FuzzCheck(buffer[copied] == 0, "a copy of the wrong length");
      for (size_t k = 0; k < copied; ++k) {
        FuzzCheck(buffer[k] == expected[k], "a copy that is not the value");
      }
    }
  }
}

// Walks the tree without recursion, checking each element, and writes it
// back as markup (every element closed, mapped attributes only).
Text CheckAndWrite(const MarkupDocument& doc, size_t text_length, size_t max_elements) {
  Text out;
  size_t elements = 0;
  MarkupNode node = doc.GetRoot();
  while (node.IsValid()) {
    FuzzCheck(++elements <= max_elements, "more elements than start tags");
    const wchar_t* name = node.GetName();
    FuzzCheck(IsIdentifier(name), "an element name is no identifier");
    FuzzCheck(Length(node.GetValue()) <= text_length, "element text longer than the text");
    CheckAttributes(node, text_length);
    // An empty name before attributes is written as "<-", which the parser
    // reads as an empty name too.
    Append(&out, Length(name) == 0 ? L"<-" : L"<");
    Append(&out, name);
    for (int i = 0; i < node.GetAttributeCount(); ++i) {
      Append(&out, L" ");
      Append(&out, node.GetAttributeName(i));
      Append(&out, L"=\"");
      AppendEscaped(&out, node.GetAttributeValue(i), Length(node.GetAttributeValue(i)), 0);
      Append(&out, L"\"");
    }
    Append(&out, L">");
    AppendEscaped(&out, node.GetValue(), Length(node.GetValue()), 0);

    const MarkupNode child = node.GetChild();
    FuzzCheck(child.IsValid() == node.HasChildren(), "HasChildren disagrees with GetChild");
    if (child.IsValid()) {
      FuzzCheck(child.GetParent().GetName() == name, "a child with another parent");
      node = child;
      continue;
    }
    // Close this element and every ancestor whose last child it ends.
    for (;;) {
      Append(&out, L"</");
      Append(&out, node.GetName());
      Append(&out, L">");
      const MarkupNode sibling = node.GetSibling();
      if (sibling.IsValid()) {
        FuzzCheck(sibling.GetParent().GetName() == node.GetParent().GetName(),
                  "a sibling with another parent");
        node = sibling;
        break;
      }
      node = node.GetParent();
      if (!node.IsValid()) break;
    }
  }
  FuzzCheck(elements > 0 || !doc.IsValid(), "a valid document without a root");
  return out;
}

void CheckRoundTrip(MarkupDocument* doc, const Text& written) {
  const Text buffer = Terminated(written);
  MarkupDocument fresh;
  FuzzCheck(fresh.LoadFromText(buffer.data()), "the written tree does not parse");
  const Text again = CheckAndWrite(fresh, written.size(), written.size());
  FuzzCheck(again == written, "the written tree parses to another tree");
  // Into the first document, whose buffers are reused when large enough.
  FuzzCheck(doc->LoadFromText(buffer.data()), "the written tree does not parse on reload");
  FuzzCheck(CheckAndWrite(*doc, written.size(), written.size()) == written,
            "the written tree parses to another tree on reload");
}

void CheckEntities(const Text& text) {
  Text expected(text.begin(), text.begin() + (text.size() < 4096 ? text.size() : 4096));
  const size_t length = expected.size();
  expected.push_back(0);  // for StartsEntity
  Text markup;
  Append(&markup, L"<e a=\"");
  AppendEscaped(&markup, expected.data(), length, 0);
  Append(&markup, L"\" b=\"");
  AppendEscaped(&markup, expected.data(), length, 1);
  Append(&markup, L"\">");
  AppendEscaped(&markup, expected.data(), length, 1);
  Append(&markup, L"<c/></e>");
  const Text buffer = Terminated(markup);
  MarkupDocument doc;
  FuzzCheck(doc.LoadFromText(buffer.data()), "escaped text does not parse");
  expected.pop_back();
  const MarkupNode root = doc.GetRoot();
  FuzzCheck(root.GetAttributeCount() == 2, "escaped attributes went missing");
  FuzzCheck(Same(root.GetAttributeValue(0), expected), "an attribute value decoded wrongly");
  FuzzCheck(Same(root.GetAttributeValue(1), expected), "an attribute value decoded wrongly");
  FuzzCheck(Same(root.GetValue(), expected), "element text decoded wrongly");
  FuzzCheck(Same(root.GetChild().GetName(), L"c"), "the element after the text went missing");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* bytes = reinterpret_cast<const char*>(data);
  if (size > 2 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
    bytes += 3;
    size -= 3;
  }
  Text text;
  if (size > 0) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), nullptr, 0);
    text.resize(static_cast<size_t>(length));
    MultiByteToWideChar(CP_UTF8, 0, bytes, static_cast<int>(size), text.data(), length);
  }
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == 0) text.resize(i);  // the parser's text ends at a NUL
  }
  size_t start_tags = 0;
  for (wchar_t c : text) start_tags += c == L'<';

  const Text buffer = Terminated(text);
  MarkupDocument doc;
  if (!doc.LoadFromText(buffer.data())) {
    CheckFailure(doc);
  } else {
    FuzzCheck(Length(doc.GetLastErrorMessage()) == 0, "a successful load reports an error");
    const Text written = CheckAndWrite(doc, text.size(), start_tags);
    CheckRoundTrip(&doc, written);
  }
  CheckEntities(text);
  return 0;
}
