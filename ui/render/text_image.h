// A control's drawn text kept between frames. Laying out and drawing a line
// of text through GDI+ costs a large part of a frame; text that holds still
// is drawn once into a premultiplied 32-bit bitmap and blended from there
// after. The render context fills and uses it (IRenderContext::DrawKeptText);
// the control that draws the text owns it. UI thread only.
#ifndef UI_RENDER_TEXT_IMAGE_H_
#define UI_RENDER_TEXT_IMAGE_H_

#include <windows.h>

#include <cstddef>
#include <string>

#include "base/scoped_gdi_object.h"

namespace ui {

class TextImage {
 public:
  // Everything the drawn pixels depend on, besides the position.
  struct Key {
    std::wstring text;
    std::string font;  // the bytes of the font's LOGFONTW
    int width = 0;
    int height = 0;
    DWORD color = 0;
    UINT format = 0;
    bool line_limit = false;

    bool operator==(const Key& other) const;
    bool operator!=(const Key& other) const { return !(*this == other); }
  };

  TextImage();
  ~TextImage();
  TextImage(const TextImage&) = delete;
  TextImage& operator=(const TextImage&) = delete;

  // Whether |key| is what was last drawn; makes it so when it is not, and
  // drops the kept pixels then.
  bool Remember(const Key& key);
  // Keeps |bitmap| (premultiplied, top-down, 32-bit) as the pixels of the
  // remembered text: |size| pixels at |offset| from the text box's top left.
  // A null bitmap keeps "nothing to draw".
  void Keep(cbase::ScopedBitmap bitmap, POINT offset, SIZE size);
  bool IsKept() const { return kept_; }
  HBITMAP bitmap() const { return bitmap_.get(); }
  POINT offset() const { return offset_; }
  SIZE size() const { return size_; }
  // Bytes held by the kept pixels.
  size_t bytes() const;
  // Forgets the text and its pixels.
  void Clear();

 private:
  Key key_;
  bool known_ = false;
  bool kept_ = false;
  cbase::ScopedBitmap bitmap_;
  POINT offset_ = {0, 0};
  SIZE size_ = {0, 0};
};

}  // namespace ui

#endif  // UI_RENDER_TEXT_IMAGE_H_
