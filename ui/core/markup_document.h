// MarkupDocument and MarkupNode: the skin file parser.
//
// A deliberately small, non-validating XML reader for the subset that skin
// files use: elements, double-quoted attributes, the five predefined entities,
// and comments / declarations that are skipped. The document is decoded to
// UTF-16 once and parsed in one pass; names, values and element text stay in
// that buffer (the parser writes NULs and blanks into it), and the tree is a
// flat array of index-linked element records. Nothing is allocated per element
// or per attribute.
//
// Ownership: the document owns its text and element array. A MarkupNode is a
// cheap value handle that points into its document and must not outlive it or
// a later load/release of it. Neither type is thread-safe; a document and its
// nodes belong to the thread that loads them (the UI thread in practice).
#pragma once

#include <cstddef>
#include <cstdint>

namespace ui {

class MarkupDocument;

class MarkupNode {
 public:
  // At most this many attributes of one element are visible to queries.
  static constexpr int kMaxAttributes = 64;
  // Size of the caller buffer that GetAttributeValue(name, ...) fills; at
  // most kAttributeBufferSize - 1 characters of a value are copied.
  static constexpr size_t kAttributeBufferSize = 500;

  MarkupNode() = default;
  MarkupNode(const MarkupDocument* owner, uint32_t index);

  bool IsValid() const { return owner_ != nullptr && index_ != 0; }
  MarkupNode GetChild() const;
  MarkupNode GetSibling() const;
  MarkupNode GetParent() const;
  bool HasChildren() const;

  // Element name; "" for an invalid node.
  const wchar_t* GetName() const;
  // Element text before the first child, entities decoded; "" if none.
  const wchar_t* GetValue() const;

  int GetAttributeCount() const;
  // By index in document order; "" for an index out of range.
  const wchar_t* GetAttributeName(int index) const;
  const wchar_t* GetAttributeValue(int index) const;
  bool HasAttribute(const wchar_t* name) const;
  // Copies at most min(499, value_size - 1) characters of the named
  // attribute's value into |value| (NUL-terminated). False when the node has
  // no document or no such attribute (exact, case-sensitive match).
  bool GetAttributeValue(const wchar_t* name, wchar_t* value,
                         size_t value_size = kAttributeBufferSize) const;

 private:
  void MapAttributes() const;
  int FindAttribute(const wchar_t* name) const;

  struct AttributeSlot {
    uint32_t name;   // offset of the attribute name in the document text
    uint32_t value;  // offset of its value
  };

  const MarkupDocument* owner_ = nullptr;
  uint32_t index_ = 0;
  // Filled on the first attribute query and reused afterwards.
  mutable bool mapped_ = false;
  mutable int attribute_count_ = 0;
  mutable AttributeSlot attributes_[kMaxAttributes];
};

class MarkupDocument {
 public:
  // Files above this size are refused ("File too large").
  static constexpr uint64_t kMaxFileSize = 4 * 1024 * 1024;

  MarkupDocument();
  ~MarkupDocument();
  MarkupDocument(const MarkupDocument&) = delete;
  MarkupDocument& operator=(const MarkupDocument&) = delete;

  // Copies |text| (NUL-terminated) and parses the copy. On failure the content
  // is released and the error buffers say why.
  bool LoadFromText(const wchar_t* text);
  // Reads a UTF-8 file (a leading byte-order mark is dropped) of at most
  // kMaxFileSize bytes. A relative name is resolved against the global
  // resource path; an absolute one is used as is.
  bool LoadFromFile(const wchar_t* file_name);
  // Parses UTF-8 bytes read elsewhere (a resource archive) as a file's are:
  // a leading byte-order mark is dropped.
  bool LoadFromUtf8(const char* data, size_t size);
  void Release();

  bool IsValid() const { return element_count_ > 1; }
  // The first element, or an invalid node when the document holds none.
  MarkupNode GetRoot() const;

  // Empty after a successful load; at most 99 / 49 characters.
  const wchar_t* GetLastErrorMessage() const { return error_message_; }
  const wchar_t* GetLastErrorLocation() const { return error_location_; }

 private:
  friend class MarkupNode;

  // Offsets count characters from the start of |text_|; indexes point into
  // |elements_|, where 0 means "none" and slot 0 is never an element.
  struct Element {
    uint32_t name_start;
    uint32_t first_child;
    uint32_t next_sibling;
    uint32_t parent;
    uint32_t data_start;
  };

  bool Parse();
  // Answers the position after the attributes, or nullptr after a failure.
  wchar_t* ParseAttributes(wchar_t* p);
  wchar_t* FailAt(const wchar_t* message, const wchar_t* location);
  uint32_t ReserveElement();
  bool Fail(const wchar_t* message, const wchar_t* location);
  bool AllocateText(size_t characters);

  wchar_t* text_ = nullptr;
  size_t text_capacity_ = 0;  // in characters
  Element* elements_ = nullptr;
  uint32_t element_count_ = 0;
  uint32_t element_capacity_ = 0;
  wchar_t error_message_[100];
  wchar_t error_location_[50];
};

}  // namespace ui
