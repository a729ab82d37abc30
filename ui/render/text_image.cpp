#include "ui/render/text_image.h"

#include <utility>

namespace ui {

bool TextImage::Key::operator==(const Key& other) const {
  return width == other.width && height == other.height && color == other.color &&
         format == other.format && line_limit == other.line_limit && text == other.text &&
         font == other.font;
}

TextImage::TextImage() = default;
TextImage::~TextImage() = default;

bool TextImage::Remember(const Key& key) {
  if (known_ && key_ == key) return true;
  Clear();
  key_ = key;
  known_ = true;
  return false;
}

void TextImage::Keep(cbase::ScopedBitmap bitmap, POINT offset, SIZE size) {
  bitmap_ = std::move(bitmap);
  offset_ = offset;
  size_ = bitmap_.get() ? size : SIZE{0, 0};
  kept_ = true;
}

size_t TextImage::bytes() const {
  return static_cast<size_t>(size_.cx) * static_cast<size_t>(size_.cy) * 4;
}

void TextImage::Clear() {
  key_ = Key();
  known_ = false;
  kept_ = false;
  bitmap_.reset();
  offset_ = {0, 0};
  size_ = {0, 0};
}

}  // namespace ui
