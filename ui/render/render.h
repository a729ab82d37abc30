// The painting interfaces of the UI toolkit. Controls and windows draw only
// through these; the one implementation sits on GDI and GDI+
// (render_factory_gdiplus.h). Colours are 32-bit ARGB (alpha in the top byte);
// a "fade" is an extra opacity byte (255 = unchanged) applied on top of a
// colour's or an image's own alpha. Rectangles are left, top, right, bottom in
// logical pixels of the context.
//
// Ownership: the factory hands out single-owner handles (std::unique_ptr).
// Every render object supports weak callbacks, so work bound to one (a
// pending repaint, say) does nothing once it is gone.
// Threading: every render object belongs to the UI thread of its window.
#ifndef UI_RENDER_RENDER_H_
#define UI_RENDER_RENDER_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "base/weak_callback.h"

namespace ui {

using ARGB = DWORD;

class TextImage;

// The values match GDI+'s own enumerations, so implementations can cast.
enum class LineCap { kFlat = 0, kSquare = 1, kRound = 2, kTriangle = 3 };
enum class DashCap { kFlat = 0, kRound = 2, kTriangle = 3 };
enum class LineJoin { kMiter = 0, kBevel = 1, kRound = 2, kMiterClipped = 3 };
enum class DashStyle { kSolid = 0, kDash = 1, kDot = 2, kDashDot = 3, kDashDotDot = 4 };
enum class FillMode { kAlternate = 0, kWinding = 1 };

class IClip : public cbase::SupportWeakCallback {
 public:
  virtual ~IClip() = default;
  // Narrows the clip of |hdc| to |rc| (logical coordinates) after saving the
  // device context's state, so each call is undone by one ClearClip.
  virtual void CreateClip(HDC hdc, const RECT& rc) = 0;
  virtual void CreateRoundClip(HDC hdc, const RECT& rc, int width, int height) = 0;
  virtual void ClearClip(HDC hdc) = 0;
};

class IBitmap : public cbase::SupportWeakCallback {
 public:
  virtual ~IBitmap() = default;
  // Creates a 32-bit DIB section (top-down rows when |flip_height|). Returns
  // whether a bitmap exists afterwards; a zero size never makes one.
  virtual bool Init(HDC hdc, int width, int height, bool flip_height) = 0;
  virtual void Clear() = 0;
  // Hands the bitmap to the caller, who then deletes it.
  virtual HBITMAP DetachBitmap() = 0;
  virtual HBITMAP GetBitmap() const = 0;
  virtual void* GetBits() const = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  // Sets all four bytes of every pixel of |rc| (clamped to the bitmap) to
  // |value|.
  virtual void FillPixels(const RECT& rc, BYTE value) = 0;
  // Makes the pixels of |rc| opaque, except in the four corner zones that
  // |insets| cut from the bitmap. With a non-zero |key_alpha|, pixels whose
  // alpha equals it become fully transparent instead.
  virtual void MakeOpaque(const RECT& rc, const RECT& insets, BYTE key_alpha) = 0;
};

class IPen : public cbase::SupportWeakCallback {
 public:
  virtual ~IPen() = default;
  virtual std::unique_ptr<IPen> Clone() const = 0;
  virtual void SetWidth(int width) = 0;
  virtual int GetWidth() const = 0;
  virtual void SetColor(ARGB color) = 0;
  virtual ARGB GetColor() const = 0;
  virtual void SetStartCap(LineCap cap) = 0;
  virtual void SetEndCap(LineCap cap) = 0;
  virtual void SetDashCap(DashCap cap) = 0;
  virtual LineCap GetStartCap() const = 0;
  virtual LineCap GetEndCap() const = 0;
  virtual DashCap GetDashCap() const = 0;
  virtual void SetLineJoin(LineJoin join) = 0;
  virtual LineJoin GetLineJoin() const = 0;
  virtual void SetDashStyle(DashStyle style) = 0;
  virtual DashStyle GetDashStyle() const = 0;
};

class IBrush : public cbase::SupportWeakCallback {
 public:
  virtual ~IBrush() = default;
  virtual std::unique_ptr<IBrush> Clone() const = 0;
  virtual ARGB GetColor() const = 0;
};

class IMatrix : public cbase::SupportWeakCallback {
 public:
  virtual ~IMatrix() = default;
  virtual void Translate(int dx, int dy) = 0;
  virtual void Scale(float sx, float sy) = 0;
  virtual void Rotate(float angle) = 0;  // degrees
  virtual void RotateAt(float angle, const POINT& center) = 0;
};

class IPath : public cbase::SupportWeakCallback {
 public:
  virtual ~IPath() = default;
  virtual std::unique_ptr<IPath> Clone() const = 0;
  virtual void Reset() = 0;
  virtual void SetFillMode(FillMode mode) = 0;
  virtual FillMode GetFillMode() const = 0;
  virtual void StartFigure() = 0;
  virtual void CloseFigure() = 0;
  virtual void AddLine(int x1, int y1, int x2, int y2) = 0;
  virtual void AddLines(const std::vector<POINT>& points) = 0;
  virtual void AddBezier(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4) = 0;
  virtual void AddCurve(const std::vector<POINT>& points) = 0;
  virtual void AddRect(const RECT& rc) = 0;
  virtual void AddRect(int left, int top, int right, int bottom) = 0;
  virtual void AddEllipse(const RECT& rc) = 0;
  virtual void AddEllipse(int left, int top, int right, int bottom) = 0;
  virtual void AddArc(int x, int y, int width, int height, float start_angle,
                      float sweep_angle) = 0;
  virtual void AddPie(int x, int y, int width, int height, float start_angle,
                      float sweep_angle) = 0;
  virtual void AddPolygon(const std::vector<POINT>& points) = 0;
  // Bounds of the path; with a pen, of its outline drawn with that pen.
  virtual RECT GetBounds(const IPen* pen) const = 0;
  virtual bool IsContainsPoint(int x, int y) const = 0;
  virtual bool IsStrokeContainsPoint(int x, int y, const IPen* pen) const = 0;
  virtual void Transform(const IMatrix* matrix) = 0;
};

// An offscreen 32-bit bitmap selected into a memory device context. A window
// owns one, paints its whole control tree into it and then presents it.
class IRenderContext : public cbase::SupportWeakCallback {
 public:
  virtual ~IRenderContext() = default;
  virtual HDC DeviceContext() const = 0;
  // Recreates the bitmap when the size changed; false when it did not (or
  // when no bitmap could be made).
  virtual bool Resize(int width, int height, bool flip_height = true) = 0;
  virtual void Clear() = 0;
  virtual std::unique_ptr<IRenderContext> Clone() = 0;
  virtual HBITMAP DetachBitmap() = 0;
  virtual BYTE* GetBits() const = 0;
  virtual int GetWidth() const = 0;
  virtual int GetHeight() const = 0;
  virtual void FillPixels(const RECT& rc, BYTE value) = 0;
  virtual void MakeOpaque(const RECT& rc, const RECT& insets, BYTE key_alpha) = 0;
  virtual bool IsAlphaBlit() const = 0;
  virtual bool SetAlphaBlit(bool alpha_blit) = 0;  // returns the old value

  virtual void Save() = 0;
  virtual void Restore() = 0;
  virtual POINT OffsetOrigin(int dx, int dy) = 0;  // returns the old origin
  virtual POINT SetOrigin(int x, int y) = 0;       // returns the old origin
  virtual POINT GetOrigin() const = 0;
  virtual void SetClip(const RECT& rc) = 0;
  virtual void SetRoundClip(const RECT& rc, int width, int height) = 0;
  virtual void ClearClip() = 0;

  virtual bool BitBlt(int x, int y, int width, int height, IRenderContext* source, int src_x,
                      int src_y, DWORD rop = SRCCOPY) = 0;
  virtual bool AlphaBlend(int x, int y, int width, int height, IRenderContext* source, int src_x,
                          int src_y, int src_width, int src_height, BYTE alpha = 255) = 0;
  // Draws |source| of |bitmap| into |dest| as a nine-grid: the
  // |source_corners| insets (image pixels) go to the |dest_corners| insets
  // (context pixels), the same when image and context share a scale; the
  // rest is stretched or tiled. Only pieces that meet |paint_rc| are drawn.
  // |has_alpha| false promises that every pixel is opaque: unfaded, such
  // pieces are copied instead of blended.
  virtual void DrawImage(const RECT& paint_rc, HBITMAP bitmap, bool has_alpha, const RECT& dest,
                         const RECT& source, const RECT& source_corners, const RECT& dest_corners,
                         BYTE fade = 255, bool xtiled = false, bool ytiled = false) = 0;
  virtual void DrawColor(const RECT& rc, ARGB color, BYTE fade = 255) = 0;
  virtual void DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) = 0;
  virtual void DrawLine(const RECT& line, int width, ARGB color) = 0;
  virtual void DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3, int y3, int x4,
                          int y4) = 0;
  virtual void DrawRect(const RECT& rc, int width, ARGB color) = 0;
  virtual void DrawRoundRect(const RECT& rc, const SIZE& corner, int width, ARGB color) = 0;
  virtual void FillRoundRect(const RECT& rc, const SIZE& corner, ARGB color, BYTE fade = 255) = 0;
  // |format| takes the DT_ flags DT_CENTER, DT_RIGHT, DT_VCENTER, DT_BOTTOM,
  // DT_SINGLELINE, DT_END_ELLIPSIS and DT_NOCLIP. Without |font| the device
  // context's current font is used.
  virtual void DrawText(const RECT& rc, const std::wstring& text, ARGB color, HFONT font,
                        UINT format, BYTE fade = 255, bool line_limit = false) = 0;
  // DrawText for a control that draws the same text again and again: the
  // drawn pixels are kept in |image| (owned by the control) and blended from
  // there while the text, font, box size, colour and format stay the same.
  // The first drawing of a text is done in place; it is kept from the second.
  virtual void DrawKeptText(const RECT& rc, const std::wstring& text, ARGB color, HFONT font,
                            UINT format, bool line_limit, TextImage* image) = 0;
  virtual void DrawEllipse(const RECT& rc, int width, ARGB color) = 0;
  virtual void FillEllipse(const RECT& rc, ARGB color) = 0;
  // Bounding box of |text|, one pixel wider and taller than GDI+ measures it.
  // |width| -1 measures without a layout width.
  virtual RECT MeasureText(const std::wstring& text, HFONT font, UINT format, int width = -1) = 0;
  virtual void DrawPath(const IPath* path, const IPen* pen) = 0;
  virtual void FillPath(const IPath* path, const IBrush* brush) = 0;
};

class IRenderFactory : public cbase::SupportWeakCallback {
 public:
  virtual ~IRenderFactory() = default;
  virtual std::unique_ptr<IPen> CreatePen(ARGB color, int width = 1) = 0;
  // A texture brush made from |bitmap|.
  virtual std::unique_ptr<IBrush> CreateBrush(HBITMAP bitmap) = 0;
  virtual std::unique_ptr<IBrush> CreateBrush(ARGB color) = 0;
  virtual std::unique_ptr<IMatrix> CreateMatrix() = 0;
  virtual std::unique_ptr<IPath> CreatePath() = 0;
  virtual std::unique_ptr<IBitmap> CreateBitmap() = 0;
  virtual std::unique_ptr<IRenderContext> CreateRenderContext() = 0;
};

// The process-wide factory, installed at start-up and released at shut-down
// (before GDI+ stops). Installing a new one deletes the one it replaces.
IRenderFactory* GetRenderFactory();
void SetRenderFactory(std::unique_ptr<IRenderFactory> factory);

// Clips a context for the life of a scope. Nested guards narrow the clip and
// restore the outer one as they end.
class AutoClip {
 public:
  AutoClip(IRenderContext* context, const RECT& rc, bool enabled = true);
  AutoClip(IRenderContext* context, const RECT& rc, int round_width, int round_height,
           bool enabled = true);
  ~AutoClip();
  AutoClip(const AutoClip&) = delete;
  AutoClip& operator=(const AutoClip&) = delete;

 private:
  IRenderContext* context_;
  bool enabled_;
};

}  // namespace ui

#endif  // UI_RENDER_RENDER_H_
