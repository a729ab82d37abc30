// The render context over GDI and GDI+: a 32-bit DIB section selected into a
// memory device context compatible with the screen. Images are blitted with
// GDI (BitBlt / AlphaBlend / StretchBlt); anti-aliased shapes and all text are
// drawn with GDI+ on the same device context. Every GDI+ call costs as much
// as filling thousands of pixels, so what repeats from frame to frame is kept:
// the pixel of each opaque colour, the rims of rounded shapes, and (for the
// controls that ask) their text. Owned by its window; UI thread only.
#ifndef UI_RENDER_RENDER_CONTEXT_GDIPLUS_H_
#define UI_RENDER_RENDER_CONTEXT_GDIPLUS_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "base/thread_checker.h"
#include "ui/render/gdi_bitmap.h"
#include "ui/render/gdi_clip.h"
#include "ui/render/gdiplus_fwd.h"
#include "ui/render/render.h"
#include "ui/render/text_image.h"

namespace ui {

class RenderContext_GdiPlus : public IRenderContext {
 public:
  RenderContext_GdiPlus();
  ~RenderContext_GdiPlus() override;
  RenderContext_GdiPlus(const RenderContext_GdiPlus&) = delete;
  RenderContext_GdiPlus& operator=(const RenderContext_GdiPlus&) = delete;

  HDC DeviceContext() const override { return hdc_.get(); }
  bool Resize(int width, int height, bool flip_height = true) override;
  void Clear() override;
  std::unique_ptr<IRenderContext> Clone() override;
  HBITMAP DetachBitmap() override;
  BYTE* GetBits() const override;
  int GetWidth() const override { return bitmap_.GetWidth(); }
  int GetHeight() const override { return bitmap_.GetHeight(); }
  void FillPixels(const RECT& rc, BYTE value) override;
  void MakeOpaque(const RECT& rc, const RECT& insets, BYTE key_alpha) override;
  bool IsAlphaBlit() const override { return alpha_blit_; }
  bool SetAlphaBlit(bool alpha_blit) override;

  void Save() override;
  void Restore() override;
  POINT OffsetOrigin(int dx, int dy) override;
  POINT SetOrigin(int x, int y) override;
  POINT GetOrigin() const override;
  void SetClip(const RECT& rc) override;
  void SetRoundClip(const RECT& rc, int width, int height) override;
  void ClearClip() override;

  bool BitBlt(int x, int y, int width, int height, IRenderContext* source, int src_x, int src_y,
              DWORD rop = SRCCOPY) override;
  bool AlphaBlend(int x, int y, int width, int height, IRenderContext* source, int src_x, int src_y,
                  int src_width, int src_height, BYTE alpha = 255) override;
  void DrawImage(const RECT& paint_rc, HBITMAP bitmap, bool has_alpha, const RECT& dest,
                 const RECT& source, const RECT& source_corners, const RECT& dest_corners,
                 BYTE fade = 255, bool xtiled = false, bool ytiled = false) override;
  void DrawColor(const RECT& rc, ARGB color, BYTE fade = 255) override;
  void DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) override;
  void DrawLine(const RECT& line, int width, ARGB color) override;
  void DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4,
                  int y4) override;
  void DrawRect(const RECT& rc, int width, ARGB color) override;
  void DrawRoundRect(const RECT& rc, const SIZE& corner, int width, ARGB color) override;
  void FillRoundRect(const RECT& rc, const SIZE& corner, ARGB color, BYTE fade = 255) override;
  void DrawText(const RECT& rc, const std::wstring& text, ARGB color, HFONT font, UINT format,
                BYTE fade = 255, bool line_limit = false) override;
  void DrawKeptText(const RECT& rc, const std::wstring& text, ARGB color, HFONT font, UINT format,
                    bool line_limit, TextImage* image) override;
  void DrawEllipse(const RECT& rc, int width, ARGB color) override;
  void FillEllipse(const RECT& rc, ARGB color) override;
  RECT MeasureText(const std::wstring& text, HFONT font, UINT format, int width = -1) override;
  void DrawPath(const IPath* path, const IPen* pen) override;
  void FillPath(const IPath* path, const IBrush* brush) override;

  // Blends premultiplied pixels from |source| on, at their own size, over
  // |dest| (logical coordinates) by writing the bits, within the clip, as
  // AlphaBlend with per-pixel alpha would. |from| is a top-down array of
  // |from_width| by |from_height| pixels. False when that cannot be done
  // pixel for pixel (nothing was written then): |dest| reaches past the
  // pixels, the mapping is not one to one, or the bits or the clip cannot be
  // used. Kept pixels and one-to-one blends from a context of this kind
  // come this way; public for the tests that hold it to the system's blend.
  // With |one_row| set, |from| is a single row blended onto every row of
  // |dest| (|from_height| and |source|.y are not used).
  bool BlendDirect(const DWORD* from, int from_width, int from_height, POINT source,
                   const RECT& dest, bool one_row = false);

 private:
  struct TextFont {
    Gdiplus::Font* font;
    std::wstring face;
    // The bytes of its LOGFONTW; null for the fallback font.
    const std::string* key;
  };
  TextFont GetTextFont(HFONT handle);
  struct TextLayout {
    std::unique_ptr<Gdiplus::StringFormat> format;
    Gdiplus::RectF box;
  };
  // How GDI+ is told to lay |format|'s DT_ flags out in |rc|.
  static TextLayout LayOutText(Gdiplus::Graphics& graphics, const TextFont& text_font,
                               const RECT& rc, UINT format, bool line_limit);
  static void DrawTextWith(Gdiplus::Graphics& graphics, const TextFont& text_font, const RECT& rc,
                           const std::wstring& text, ARGB color, UINT format, BYTE fade,
                           bool line_limit);
  // Draws the text this once: blended (DrawTextBlended) where it can be,
  // else with GDI+ on the device context.
  void DrawTextInPlace(const TextFont& text_font, const RECT& rc, const std::wstring& text,
                       ARGB color, UINT format, BYTE fade, bool line_limit);
  // Draws the text on clear pixels of its own and blends them in, as
  // DrawBlended does shapes. False (nothing drawn) for text whose reach is
  // not known before it is laid out.
  bool DrawTextBlended(const TextFont& text_font, const RECT& rc, const std::wstring& text,
                       ARGB color, UINT format, BYTE fade, bool line_limit);
  // Draws the text once into a bitmap of its own and keeps the part it
  // touched in |image|. False when it cannot (then nothing was kept).
  bool KeepText(const RECT& rc, const std::wstring& text, ARGB color, const TextFont& text_font,
                UINT format, bool line_limit, TextImage* image);
  // A memory device context for drawing and blending from bitmaps of the
  // context's own (images, kept pixels, probes), one at a time.
  HDC ScratchDC();
  // Blends the premultiplied |bitmap| over |dest| (its size), within the
  // clip.
  void BlendKept(HBITMAP bitmap, const RECT& dest);
  // Runs |draw| as drawing on the device context would, |reach| (logical
  // coordinates) holding all it touches: on clear pixels of their own, then
  // blended in within the clip. Under Wine each GDI+ call on a device
  // context costs about 0.1 ms whatever it draws; drawn aside, a rounded
  // outline costs a tenth of that. False when it cannot be done that way
  // (nothing was drawn then): bits that cannot be written, a clip other
  // than a rectangle that cuts the reach (GDI+ cuts a rounded clip's edge a
  // pixel apart from GDI here and there), or a reach too large to be worth
  // it.
  bool DrawBlended(const RECT& reach, bool anti_alias,
                   const std::function<void(Gdiplus::Graphics&)>& draw);
  // Whether the clip cuts |visible| (logical coordinates, inside the clip
  // box) only along a rectangle's straight edges: no clip, a rectangle, or a
  // region that holds all of |visible|.
  bool ClipCutsOnlyStraight(const RECT& visible) const;
  // Runs |draw| on |bitmap| as if the bitmap's top left lay at |origin| in
  // this context's coordinates, and waits for the pixels.
  void DrawAside(HBITMAP bitmap, POINT origin, const std::function<void(Gdiplus::Graphics&)>& draw);

  // A rounded rectangle's look, whatever its place: its fill (|stroke| 0) or
  // its outline |stroke| pixels wide.
  struct ShapeKey {
    LONG width;
    LONG height;
    LONG corner_x;
    LONG corner_y;
    ARGB color;
    int stroke;
    bool operator<(const ShapeKey& other) const;
  };
  struct KeptPiece {
    cbase::ScopedBitmap bitmap;  // premultiplied, top-down
    RECT area;                   // from the shape's top left
  };
  struct KeptShape {
    bool kept = false;  // seen once already when false
    std::vector<KeptPiece> pieces;
  };
  // Draws the rounded shape over |rc| from pixels kept since an earlier
  // drawing of the same shape, all but the even middle of a fill (two pixels
  // clear of the arcs) which the caller fills. False when it did not draw:
  // the first time a shape is met (it is kept from the second), or where the
  // bitmap's pixels are not plain.
  bool DrawKeptShape(const RECT& rc, const SIZE& corner, ARGB color, int stroke);
  bool KeepShape(const ShapeKey& key, KeptShape* shape);
  // Whether the bitmap's pixels may be written directly: top-down rows, plain
  // logical coordinates.
  bool CanWriteBits() const;
  // Where |rc| (logical coordinates) lies in device pixels (|placed|, not
  // cut by the bitmap's edges), and the parts of it within the bitmap and
  // the clip. False when the clip cannot be read.
  bool DirectArea(const RECT& rc, RECT* placed, std::vector<RECT>* parts);
  // Writes |pixel| over |rc| (logical coordinates), within the device
  // context's clip. False when the clip cannot be read (nothing was written
  // then).
  bool FillDirect(const RECT& rc, DWORD pixel);
  // The pixel GDI+ writes for the opaque |color|: by the rule learnt once
  // per process, or else learnt once per colour.
  bool OpaquePixel(ARGB color, DWORD* pixel);
  // The part of |rc| (logical coordinates) inside the clip's bounds; empty
  // when none is.
  RECT VisiblePart(const RECT& rc) const;
  // Fills the part of |rc| the clip lets through with |brush| of |color|,
  // which covers every pixel there whole. Leaves |graphics| without
  // anti-aliasing.
  void FillWhole(Gdiplus::Graphics& graphics, Gdiplus::Brush& brush, ARGB color, const RECT& rc);

  cbase::ThreadChecker thread_checker_;
  cbase::ScopedCreatedDC hdc_;
  cbase::ScopedCreatedDC scratch_dc_;
  int saved_dc_ = 0;
  HGDIOBJ old_bitmap_ = nullptr;
  bool alpha_blit_ = false;
  // Rows of the bitmap run from the top (Resize with flip_height).
  bool top_down_ = true;
  GdiClip clip_;
  GdiBitmap bitmap_;
  // GDI+ fonts by the bytes of their LOGFONTW.
  std::map<std::string, std::unique_ptr<Gdiplus::Font>> fonts_;
  std::unique_ptr<Gdiplus::Font> fallback_font_;
  // The height of one line of CJK text in each of those fonts.
  std::map<std::string, float> line_heights_;
  // What GDI+ writes for each opaque colour met so far, where no rule
  // holds for all.
  std::map<ARGB, DWORD> opaque_pixels_;
  // Rounded shapes drawn so far.
  std::map<ShapeKey, KeptShape> shapes_;
  // The pixels DrawBlended draws on, kept for the next drawing.
  std::vector<DWORD> aside_;
};

// The colour with its alpha multiplied by |fade| (truncated); 255 keeps it.
ARGB FadeColor(ARGB color, BYTE fade);

}  // namespace ui

#endif  // UI_RENDER_RENDER_CONTEXT_GDIPLUS_H_
