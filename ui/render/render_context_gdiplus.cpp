#include "ui/render/render_context_gdiplus.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "base/scoped_gdi_object.h"
#include "ui/render/brush_gdiplus.h"
#include "ui/render/gdi_bitmap.h"
#include "ui/render/gdiplus_fwd.h"
#include "ui/render/path_gdiplus.h"
#include "ui/render/pen_gdiplus.h"

namespace ui {

namespace {

const Gdiplus::Pen* PenOf(const IPen* pen) {
  const Pen_GdiPlus* gdiplus_pen = dynamic_cast<const Pen_GdiPlus*>(pen);
  return gdiplus_pen ? gdiplus_pen->GetPen() : nullptr;
}

bool Meets(const RECT& a, const RECT& b) {
  RECT unused;
  return ::IntersectRect(&unused, &a, &b) != FALSE;
}

int Width(const RECT& rc) { return rc.right - rc.left; }
int Height(const RECT& rc) { return rc.bottom - rc.top; }

// Where a shape over |rc| may touch pixels: |rc| the right way round, grown
// by |margin| on every side and by as much as corners of |corner| reach past
// it (arcs larger than the shape).
RECT ShapeReach(const RECT& rc, int margin, SIZE corner = SIZE{0, 0}) {
  const LONG left = std::min(rc.left, rc.right), right = std::max(rc.left, rc.right);
  const LONG top = std::min(rc.top, rc.bottom), bottom = std::max(rc.top, rc.bottom);
  const LONG x = margin + std::max<LONG>(0, std::abs(corner.cx) - (right - left));
  const LONG y = margin + std::max<LONG>(0, std::abs(corner.cy) - (bottom - top));
  return RECT{left - x, top - y, right + x, bottom + y};
}

// Sides of the middle from which FillRoundRect fills an opaque shape as a
// rim and a rectangle.
constexpr int kDirectFillSide = 32;

// A graphics object for one drawing call; anti-aliased unless told otherwise.
class Graphics : public Gdiplus::Graphics {
 public:
  explicit Graphics(HDC hdc, bool anti_alias = true) : Gdiplus::Graphics(hdc) {
    if (anti_alias) SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  }
};

// The outline of a rounded rectangle with corner ellipses of |corner| (their
// width and height). The straight sides run between the arcs' ends, half an
// ellipse in from each corner: measured from a whole ellipse, a pill's sides
// would run backwards across its round ends.
void AddRoundRect(Gdiplus::GraphicsPath& path, const RECT& rc, const SIZE& corner) {
  const INT l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
  const INT w = corner.cx, h = corner.cy;
  const Gdiplus::REAL hw = w / 2.0f, hh = h / 2.0f;
  const auto at = [](INT v) { return static_cast<Gdiplus::REAL>(v); };
  path.AddArc(l, t, w, h, 180, 90);
  path.AddLine(at(l) + hw, at(t), at(r) - hw, at(t));
  path.AddArc(r - w, t, w, h, 270, 90);
  path.AddLine(at(r), at(t) + hh, at(r), at(b) - hh);
  path.AddArc(r - w, b - h, w, h, 0, 90);
  path.AddLine(at(r) - hw, at(b), at(l) + hw, at(b));
  path.AddArc(l, b - h, w, h, 90, 90);
  path.AddLine(at(l), at(b) - hh, at(l), at(t) + hh);
  path.CloseFigure();
}

// What GDI+ writes for an opaque colour on a 32-bit bitmap selected into
// the memory device context |scratch| answers: the colour's own bits under
// one alpha byte, the same for every colour, learnt once per process from
// two colours that between them set and clear each colour bit. Each lesson
// costs as much as a small fill, and a window names several colours. Empty
// while GDI+ writes anything else for them (then each colour is learnt on
// its own), or cannot draw yet.
std::optional<DWORD> OpaqueAlpha(const std::function<HDC()>& scratch) {
  // 0 while unknown, kNoRule when GDI+ follows no such rule, else kLearnt
  // with the alpha byte.
  static std::atomic<uint64_t> learnt{0};
  constexpr uint64_t kLearnt = uint64_t{1} << 32;
  constexpr uint64_t kNoRule = uint64_t{1} << 33;
  const uint64_t known = learnt.load(std::memory_order_relaxed);
  if (known == kNoRule) return std::nullopt;
  if (known != 0) return static_cast<DWORD>(known);
  constexpr ARGB kProbes[] = {0xFF5AC3A5, 0xFFA53C5A};
  void* raw = nullptr;
  const cbase::ScopedBitmap probe = MakeTopDownBitmap(2, 1, &raw);
  if (!probe.get()) return std::nullopt;
  {
    const HDC dc = scratch();
    const cbase::ScopedSelectObject select(dc, probe.get());
    Graphics graphics(dc, false);
    for (int i = 0; i < 2; ++i) {
      Gdiplus::SolidBrush brush{Gdiplus::Color(kProbes[i])};
      if (graphics.FillRectangle(&brush, Gdiplus::RectF(static_cast<Gdiplus::REAL>(i), 0, 1, 1)) !=
          Gdiplus::Ok) {
        return std::nullopt;  // GDI+ may not have started yet: asked again later
      }
    }
  }
  ::GdiFlush();
  const auto* written = static_cast<const DWORD*>(raw);
  const DWORD alpha = written[0] & 0xFF000000;
  const bool rule = (written[1] & 0xFF000000) == alpha &&
                    (written[0] & 0x00FFFFFF) == (kProbes[0] & 0x00FFFFFF) &&
                    (written[1] & 0x00FFFFFF) == (kProbes[1] & 0x00FFFFFF);
  learnt.store(rule ? kLearnt | alpha : kNoRule, std::memory_order_relaxed);
  if (!rule) return std::nullopt;
  return alpha;
}

// Runs |draw| on |pixels| (|width| by |height|, top down, premultiplied,
// all zero) as if their top left lay at |origin|, anti-aliased when asked.
// GDI+ draws on a bitmap of its own without what drawing on a device context
// costs each time (under Wine a bitmap made and blended per call, about
// 0.1 ms), and on pixels that are all zero the two give the same.
bool DrawOnClearPixels(DWORD* pixels, int width, int height, POINT origin, bool anti_alias,
                       const std::function<void(Gdiplus::Graphics&)>& draw) {
  Gdiplus::Bitmap bitmap(width, height, width * 4, PixelFormat32bppPARGB,
                         reinterpret_cast<BYTE*>(pixels));
  if (bitmap.GetLastStatus() != Gdiplus::Ok) return false;
  Gdiplus::Graphics graphics(&bitmap);
  if (graphics.GetLastStatus() != Gdiplus::Ok) return false;
  if (anti_alias) graphics.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  graphics.TranslateTransform(static_cast<Gdiplus::REAL>(-origin.x),
                              static_cast<Gdiplus::REAL>(-origin.y));
  draw(graphics);
  return true;
}

}  // namespace

ARGB FadeColor(ARGB color, BYTE fade) {
  if (fade == 255) return color;
  const DWORD alpha = (color >> 24) * fade / 255;
  return (alpha << 24) | (color & 0x00FFFFFF);
}

RenderContext_GdiPlus::RenderContext_GdiPlus() {
  const cbase::ScopedGetDC screen(nullptr);
  hdc_.reset(::CreateCompatibleDC(screen.get()));
}

RenderContext_GdiPlus::~RenderContext_GdiPlus() {
  if (old_bitmap_) ::SelectObject(hdc_.get(), old_bitmap_);
  // The bitmap member deletes the DIB section after the context let go of it;
  // the DC member goes last.
}

bool RenderContext_GdiPlus::Resize(int width, int height, bool flip_height) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (bitmap_.GetWidth() == width && bitmap_.GetHeight() == height) return false;
  if (old_bitmap_) {
    ::SelectObject(hdc_.get(), old_bitmap_);
    old_bitmap_ = nullptr;
  }
  const bool made = bitmap_.Init(hdc_.get(), width, height, flip_height);
  if (made) old_bitmap_ = ::SelectObject(hdc_.get(), bitmap_.GetBitmap());
  top_down_ = flip_height;
  return made;
}

void RenderContext_GdiPlus::Clear() { bitmap_.Clear(); }

std::unique_ptr<IRenderContext> RenderContext_GdiPlus::Clone() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  auto copy = std::make_unique<RenderContext_GdiPlus>();
  copy->Resize(GetWidth(), GetHeight(), true);
  copy->BitBlt(0, 0, GetWidth(), GetHeight(), this, 0, 0, SRCCOPY);
  return copy;
}

HBITMAP RenderContext_GdiPlus::DetachBitmap() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (old_bitmap_) {
    ::SelectObject(hdc_.get(), old_bitmap_);
    old_bitmap_ = nullptr;
  }
  return bitmap_.DetachBitmap();
}

BYTE* RenderContext_GdiPlus::GetBits() const { return static_cast<BYTE*>(bitmap_.GetBits()); }

void RenderContext_GdiPlus::FillPixels(const RECT& rc, BYTE value) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  bitmap_.FillPixels(rc, value);
}

void RenderContext_GdiPlus::MakeOpaque(const RECT& rc, const RECT& insets, BYTE key_alpha) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  bitmap_.MakeOpaque(rc, insets, key_alpha);
}

bool RenderContext_GdiPlus::SetAlphaBlit(bool alpha_blit) {
  return std::exchange(alpha_blit_, alpha_blit);
}

void RenderContext_GdiPlus::Save() { saved_dc_ = ::SaveDC(hdc_.get()); }

void RenderContext_GdiPlus::Restore() { ::RestoreDC(hdc_.get(), saved_dc_); }

POINT RenderContext_GdiPlus::OffsetOrigin(int dx, int dy) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  POINT old = GetOrigin();
  ::SetWindowOrgEx(hdc_.get(), old.x + dx, old.y + dy, nullptr);
  return old;
}

POINT RenderContext_GdiPlus::SetOrigin(int x, int y) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  POINT old = {};
  ::SetWindowOrgEx(hdc_.get(), x, y, &old);
  return old;
}

POINT RenderContext_GdiPlus::GetOrigin() const {
  POINT origin = {};
  ::GetWindowOrgEx(hdc_.get(), &origin);
  return origin;
}

void RenderContext_GdiPlus::SetClip(const RECT& rc) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  clip_.CreateClip(hdc_.get(), rc);
}

void RenderContext_GdiPlus::SetRoundClip(const RECT& rc, int width, int height) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  clip_.CreateRoundClip(hdc_.get(), rc, width, height);
}

void RenderContext_GdiPlus::ClearClip() {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  clip_.ClearClip(hdc_.get());
}

bool RenderContext_GdiPlus::BitBlt(int x, int y, int width, int height, IRenderContext* source,
                                   int src_x, int src_y, DWORD rop) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!source) return false;
  return ::BitBlt(hdc_.get(), x, y, width, height, source->DeviceContext(), src_x, src_y, rop) !=
         FALSE;
}

bool RenderContext_GdiPlus::AlphaBlend(int x, int y, int width, int height, IRenderContext* source,
                                       int src_x, int src_y, int src_width, int src_height,
                                       BYTE alpha) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!source) return false;
  // A source of this kind with plain top-down pixels and no origin of its
  // own is read directly.
  auto* pixels = dynamic_cast<RenderContext_GdiPlus*>(source);
  if (alpha == 255 && width == src_width && height == src_height && pixels != nullptr &&
      pixels->CanWriteBits() && pixels->GetOrigin().x == 0 && pixels->GetOrigin().y == 0 &&
      BlendDirect(reinterpret_cast<const DWORD*>(pixels->GetBits()), pixels->GetWidth(),
                  pixels->GetHeight(), POINT{src_x, src_y}, RECT{x, y, x + width, y + height})) {
    return true;
  }
  BLENDFUNCTION blend = {AC_SRC_OVER, 0, alpha, AC_SRC_ALPHA};
  return ::AlphaBlend(hdc_.get(), x, y, width, height, source->DeviceContext(), src_x, src_y,
                      src_width, src_height, blend) != FALSE;
}

void RenderContext_GdiPlus::DrawImage(const RECT& paint_rc, HBITMAP bitmap, bool has_alpha,
                                      const RECT& dest, const RECT& source,
                                      const RECT& source_corners, const RECT& dest_corners,
                                      BYTE fade, bool xtiled, bool ytiled) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!bitmap || !Meets(dest, paint_rc)) return;

  // A device context of its own costs more than the copy of a small image.
  const HDC image_dc = ScratchDC();
  const cbase::ScopedSelectObject select_image(image_dc, bitmap);
  const int old_mode = ::SetStretchBltMode(hdc_.get(), HALFTONE);

  const RECT& c = source_corners;  // in image pixels
  const RECT& cd = dest_corners;   // in context pixels
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, fade, AC_SRC_ALPHA};
  const bool always_blend = alpha_blit_ || has_alpha || fade < 255;

  // Opaque pieces are copied: at their natural size with BitBlt (blending
  // pixels that are all opaque gives the same pixels at many times the
  // cost), scaled with StretchBlt.
  auto blit = [&](const RECT& d, const RECT& s) {
    const int dw = Width(d), dh = Height(d), sw = Width(s), sh = Height(s);
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    if (always_blend) {
      ::AlphaBlend(hdc_.get(), d.left, d.top, dw, dh, image_dc, s.left, s.top, sw, sh, blend);
    } else if (dw == sw && dh == sh) {
      ::BitBlt(hdc_.get(), d.left, d.top, dw, dh, image_dc, s.left, s.top, SRCCOPY);
    } else {
      ::StretchBlt(hdc_.get(), d.left, d.top, dw, dh, image_dc, s.left, s.top, sw, sh, SRCCOPY);
    }
  };
  auto piece = [&](const RECT& d, const RECT& s) {
    if (Meets(d, paint_rc)) blit(d, s);
  };

  // Centre.
  const RECT dc = {dest.left + cd.left, dest.top + cd.top, dest.right - cd.right,
                   dest.bottom - cd.bottom};
  const RECT sc = {source.left + c.left, source.top + c.top, source.right - c.right,
                   source.bottom - c.bottom};
  if (Meets(dc, paint_rc)) {
    const int tile_w = Width(sc), tile_h = Height(sc);
    if (!xtiled && !ytiled) {
      blit(dc, sc);
    } else if (tile_w > 0 && tile_h > 0) {
      // Tiles start at the centre's top-left; the last column and row are cut
      // (source and destination by the same amount, never scaled).
      const int step_x = xtiled ? tile_w : Width(dc);
      const int step_y = ytiled ? tile_h : Height(dc);
      for (int y = dc.top; y < dc.bottom; y += step_y) {
        const int h = std::min(step_y, static_cast<int>(dc.bottom) - y);
        const int src_h = ytiled ? h : tile_h;
        for (int x = dc.left; x < dc.right; x += step_x) {
          const int w = std::min(step_x, static_cast<int>(dc.right) - x);
          const int src_w = xtiled ? w : tile_w;
          piece(RECT{x, y, x + w, y + h}, RECT{sc.left, sc.top, sc.left + src_w, sc.top + src_h});
        }
      }
    }
  }

  // The eight border pieces, each only where its corners exist.
  if (c.left > 0 && c.top > 0) {
    piece(RECT{dest.left, dest.top, dc.left, dc.top},
          RECT{source.left, source.top, sc.left, sc.top});
  }
  if (c.top > 0) {
    piece(RECT{dc.left, dest.top, dc.right, dc.top}, RECT{sc.left, source.top, sc.right, sc.top});
  }
  if (c.right > 0 && c.top > 0) {
    piece(RECT{dc.right, dest.top, dest.right, dc.top},
          RECT{sc.right, source.top, source.right, sc.top});
  }
  if (c.left > 0) {
    piece(RECT{dest.left, dc.top, dc.left, dc.bottom},
          RECT{source.left, sc.top, sc.left, sc.bottom});
  }
  if (c.right > 0) {
    piece(RECT{dc.right, dc.top, dest.right, dc.bottom},
          RECT{sc.right, sc.top, source.right, sc.bottom});
  }
  if (c.left > 0 && c.bottom > 0) {
    piece(RECT{dest.left, dc.bottom, dc.left, dest.bottom},
          RECT{source.left, sc.bottom, sc.left, source.bottom});
  }
  if (c.bottom > 0) {
    piece(RECT{dc.left, dc.bottom, dc.right, dest.bottom},
          RECT{sc.left, sc.bottom, sc.right, source.bottom});
  }
  if (c.right > 0 && c.bottom > 0) {
    piece(RECT{dc.right, dc.bottom, dest.right, dest.bottom},
          RECT{sc.right, sc.bottom, source.right, source.bottom});
  }

  ::SetStretchBltMode(hdc_.get(), old_mode);
}

RenderContext_GdiPlus::TextFont RenderContext_GdiPlus::GetTextFont(HFONT handle) {
  // Built from the wide LOGFONTW, so that a Chinese face name survives on
  // systems whose ANSI code page is not Chinese. Without a readable handle,
  // the font selected into the device context is used.
  LOGFONTW logfont = {};
  bool readable = handle && ::GetObjectW(handle, sizeof(logfont), &logfont) == sizeof(logfont);
  if (!readable) {
    HGDIOBJ current = ::GetCurrentObject(hdc_.get(), OBJ_FONT);
    readable = current && ::GetObjectW(current, sizeof(logfont), &logfont) == sizeof(logfont);
  }
  if (!readable) {
    fallback_font_ = std::make_unique<Gdiplus::Font>(hdc_.get());
    return TextFont{fallback_font_.get(), std::wstring(), nullptr};
  }
  // Making a GDI+ font costs about a fifth of drawing a short label, so
  // each logical font is made once per context.
  const std::string key(reinterpret_cast<const char*>(&logfont), sizeof(logfont));
  auto entry = fonts_.try_emplace(key).first;
  std::unique_ptr<Gdiplus::Font>& font = entry->second;
  if (!font) font = std::make_unique<Gdiplus::Font>(hdc_.get(), &logfont);
  return TextFont{font.get(), logfont.lfFaceName, &entry->first};
}

void RenderContext_GdiPlus::DrawColor(const RECT& rc, ARGB color, BYTE fade) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const ARGB fill = FadeColor(color, fade);
  Graphics graphics(hdc_.get());
  Gdiplus::SolidBrush brush{Gdiplus::Color(fill)};
  FillWhole(graphics, brush, fill, rc);
}

RECT RenderContext_GdiPlus::VisiblePart(const RECT& rc) const {
  RECT visible;
  if (::GetClipBox(hdc_.get(), &visible) == ERROR) return rc;
  if (!::IntersectRect(&visible, &visible, &rc)) return RECT{0, 0, 0, 0};
  return visible;
}

void RenderContext_GdiPlus::FillWhole(Gdiplus::Graphics& graphics, Gdiplus::Brush& brush,
                                      ARGB color, const RECT& rc) {
  // Only what the clip lets through is filled: GDI+ spends by the size of
  // the shape, not of the clip, and a window-sized layer is often repainted
  // in a small dirty rectangle.
  const RECT visible = VisiblePart(rc);
  if (::IsRectEmpty(&visible)) return;
  // An opaque colour covers every pixel with the same value, the one GDI+
  // writes for it: each call into GDI+ costs as much as filling thousands of
  // pixels, so the pixels are written directly.
  DWORD pixel = 0;
  if ((color >> 24) == 0xFF && CanWriteBits() && OpaquePixel(color, &pixel) &&
      FillDirect(visible, pixel)) {
    return;
  }
  // Whole pixels need no anti-aliasing.
  graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);
  graphics.FillRectangle(&brush, Gdiplus::RectF(static_cast<Gdiplus::REAL>(visible.left),
                                                static_cast<Gdiplus::REAL>(visible.top),
                                                static_cast<Gdiplus::REAL>(Width(visible)),
                                                static_cast<Gdiplus::REAL>(Height(visible))));
}

bool RenderContext_GdiPlus::OpaquePixel(ARGB color, DWORD* pixel) {
  if (const auto alpha = OpaqueAlpha([this] { return ScratchDC(); })) {
    *pixel = (color & 0x00FFFFFF) | *alpha;
    return true;
  }
  const auto known = opaque_pixels_.find(color);
  if (known != opaque_pixels_.end()) {
    *pixel = known->second;
    return true;
  }
  // GDI+ fills one pixel of a bitmap of its own, as it would fill any.
  void* raw = nullptr;
  const cbase::ScopedBitmap probe = MakeTopDownBitmap(1, 1, &raw);
  if (!probe.get()) return false;
  {
    const cbase::ScopedSelectObject select(ScratchDC(), probe.get());
    Graphics graphics(ScratchDC(), false);
    Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
    graphics.FillRectangle(&brush, Gdiplus::RectF(0, 0, 1, 1));
  }
  ::GdiFlush();
  *pixel = *static_cast<const DWORD*>(raw);
  // A skin names a handful of colours; animated ones would grow this.
  constexpr size_t kMaxKnownColours = 256;
  if (opaque_pixels_.size() >= kMaxKnownColours) opaque_pixels_.clear();
  opaque_pixels_.emplace(color, *pixel);
  return true;
}

void RenderContext_GdiPlus::DrawLine(const IPen* pen, int x1, int y1, int x2, int y2) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const Gdiplus::Pen* gdiplus_pen = PenOf(pen);
  if (!gdiplus_pen) return;
  Graphics graphics(hdc_.get());
  graphics.DrawLine(gdiplus_pen, x1, y1, x2, y2);
}

void RenderContext_GdiPlus::DrawLine(const RECT& line, int width, ARGB color) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Gdiplus::Pen pen(Gdiplus::Color(color), static_cast<Gdiplus::REAL>(width));
  auto draw = [&](Gdiplus::Graphics& graphics) {
    graphics.DrawLine(&pen, static_cast<INT>(line.left), static_cast<INT>(line.top),
                      static_cast<INT>(line.right), static_cast<INT>(line.bottom));
  };
  if (DrawBlended(ShapeReach(line, width + 2), false, draw)) return;
  Graphics graphics(hdc_.get(), false);
  draw(graphics);
}

void RenderContext_GdiPlus::DrawBezier(const IPen* pen, int x1, int y1, int x2, int y2, int x3,
                                       int y3, int x4, int y4) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const Gdiplus::Pen* gdiplus_pen = PenOf(pen);
  if (!gdiplus_pen) return;
  Graphics graphics(hdc_.get());
  graphics.DrawBezier(gdiplus_pen, x1, y1, x2, y2, x3, y3, x4, y4);
}

void RenderContext_GdiPlus::DrawRect(const RECT& rc, int width, ARGB color) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Gdiplus::Pen pen(Gdiplus::Color(color), static_cast<Gdiplus::REAL>(width));
  auto draw = [&](Gdiplus::Graphics& graphics) {
    graphics.DrawRectangle(&pen, static_cast<INT>(rc.left), static_cast<INT>(rc.top), Width(rc),
                           Height(rc));
  };
  if (DrawBlended(ShapeReach(rc, width + 2), false, draw)) return;
  Graphics graphics(hdc_.get(), false);
  draw(graphics);
}

void RenderContext_GdiPlus::DrawRoundRect(const RECT& rc, const SIZE& corner, int width,
                                          ARGB color) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (DrawKeptShape(rc, corner, color, width)) return;
  Gdiplus::Pen pen(Gdiplus::Color(color), static_cast<Gdiplus::REAL>(width));
  Gdiplus::GraphicsPath path;
  AddRoundRect(path, rc, corner);
  auto draw = [&](Gdiplus::Graphics& graphics) { graphics.DrawPath(&pen, &path); };
  if (DrawBlended(ShapeReach(rc, width + 2, corner), true, draw)) return;
  Graphics graphics(hdc_.get());
  draw(graphics);
}

void RenderContext_GdiPlus::FillRoundRect(const RECT& rc, const SIZE& corner, ARGB color,
                                          BYTE fade) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const ARGB fill = FadeColor(color, fade);
  Graphics graphics(hdc_.get());
  Gdiplus::SolidBrush brush{Gdiplus::Color(fill)};
  // Two pixels clear of the outline and its arcs the shape covers every
  // pixel whole; there it is filled like a rectangle.
  RECT middle = rc;
  ::InflateRect(&middle, -(corner.cx + 2), -(corner.cy + 2));
  // A fading shape changes colour every frame: it is not kept.
  if (fade == 255 && DrawKeptShape(rc, corner, fill, 0)) {
    if (Width(middle) > 0 && Height(middle) > 0) FillWhole(graphics, brush, fill, middle);
    return;
  }
  Gdiplus::GraphicsPath path;
  AddRoundRect(path, rc, corner);
  // For a large opaque shape GDI+ fills only the rim around the middle (a
  // window-sized background costs GDI+ more than the rest of a frame on some
  // systems).
  const bool large = Width(middle) >= kDirectFillSide && Height(middle) >= kDirectFillSide;
  if (!large || (fill >> 24) != 0xFF || !CanWriteBits()) {
    auto draw = [&](Gdiplus::Graphics& on) { on.FillPath(&brush, &path); };
    if (!DrawBlended(ShapeReach(rc, 2, corner), true, draw)) draw(graphics);
    return;
  }
  // Each band of the rim is filled with a path that follows the outline
  // wherever the band's pixels are (GDI+ spends by the size of the path, not
  // of the clip): the top and bottom arcs with the sides, closed two pixels
  // past the band, and the straight sides alone.
  const INT l = rc.left, t = rc.top, r = rc.right, b = rc.bottom;
  const INT w = corner.cx, h = corner.cy;
  Gdiplus::GraphicsPath top;
  const INT below_top = middle.top + 2;
  top.AddArc(l, t, w, h, 180, 90);
  top.AddLine(l + w, t, r - w, t);
  top.AddArc(r - w, t, w, h, 270, 90);
  top.AddLine(r, t + h, r, below_top);
  top.AddLine(r, below_top, l, below_top);
  top.AddLine(l, below_top, l, t + h);
  top.CloseFigure();
  Gdiplus::GraphicsPath bottom;
  const INT above_bottom = middle.bottom - 2;
  bottom.AddLine(r, above_bottom, r, b - h);
  bottom.AddArc(r - w, b - h, w, h, 0, 90);
  bottom.AddLine(r - w, b, l + w, b);
  bottom.AddArc(l, b - h, w, h, 90, 90);
  bottom.AddLine(l, b - h, l, above_bottom);
  bottom.CloseFigure();
  Gdiplus::GraphicsPath left;
  left.AddRectangle(Gdiplus::Rect(l, middle.top - 2, middle.left + 2 - l, Height(middle) + 4));
  Gdiplus::GraphicsPath right;
  right.AddRectangle(
      Gdiplus::Rect(middle.right - 2, middle.top - 2, r - middle.right + 2, Height(middle) + 4));
  struct Band {
    RECT area;
    const Gdiplus::GraphicsPath* path;
  };
  const Band rim[] = {
      {{l - 2, t - 2, r + 2, middle.top}, &top},
      {{l - 2, middle.bottom, r + 2, b + 2}, &bottom},
      {{l - 2, middle.top, middle.left, middle.bottom}, &left},
      {{middle.right, middle.top, r + 2, middle.bottom}, &right},
  };
  // Below the arcs every row of the shape is alike: the straight sides'
  // bands are one row, over and over. That row is the top band's last one
  // when the top band was drawn whole, and is drawn alone otherwise: one
  // drawing for both sides.
  std::vector<DWORD> side_row;
  const int row_width = Width(rim[0].area);
  auto draw_side_row = [&] {
    side_row.assign(static_cast<size_t>(row_width), 0);
    if (!DrawOnClearPixels(side_row.data(), row_width, 1,
                           POINT{rim[0].area.left, rim[0].area.bottom - 1}, true,
                           [&](Gdiplus::Graphics& on) { on.FillPath(&brush, &top); })) {
      side_row.clear();
    }
  };
  // A band or middle the clip leaves out costs nothing.
  for (const Band& band : rim) {
    const RECT visible = VisiblePart(band.area);
    if (::IsRectEmpty(&visible)) continue;
    // (A negative corner leaves no straight rows to repeat.)
    const bool side = &band >= &rim[2] && corner.cx >= 0 && corner.cy >= 0;
    if (side && side_row.empty() && CanWriteBits()) draw_side_row();
    if (side && !side_row.empty() &&
        BlendDirect(side_row.data(), row_width, 1, POINT{visible.left - rim[0].area.left, 0},
                    visible, true)) {
      continue;
    }
    if (DrawBlended(visible, true,
                    [&](Gdiplus::Graphics& on) { on.FillPath(&brush, band.path); })) {
      if (&band == &rim[0] && ::EqualRect(&visible, &band.area)) {
        const size_t width = static_cast<size_t>(Width(visible));
        const auto last_row = aside_.end() - static_cast<std::ptrdiff_t>(width);
        side_row.assign(last_row, aside_.end());
      }
      continue;
    }
    graphics.ResetClip();
    graphics.SetClip(Gdiplus::Rect(visible.left, visible.top, Width(visible), Height(visible)),
                     Gdiplus::CombineModeIntersect);
    graphics.FillPath(&brush, band.path);
  }
  // Inside the middle the shape covers every pixel whole, as a rectangle
  // does.
  graphics.ResetClip();
  FillWhole(graphics, brush, fill, middle);
}

bool RenderContext_GdiPlus::ShapeKey::operator<(const ShapeKey& other) const {
  return std::tie(width, height, corner_x, corner_y, color, stroke) <
         std::tie(other.width, other.height, other.corner_x, other.corner_y, other.color,
                  other.stroke);
}

bool RenderContext_GdiPlus::DrawKeptShape(const RECT& rc, const SIZE& corner, ARGB color,
                                          int stroke) {
  if (Width(rc) <= 0 || Height(rc) <= 0 || corner.cx < 0 || corner.cy < 0 || stroke < 0 ||
      !CanWriteBits()) {
    return false;
  }
  const ShapeKey key{Width(rc), Height(rc), corner.cx, corner.cy, color, stroke};
  // A skin has a few dozen shapes; a growing bar or a fade makes new ones
  // all the time, and those are dropped together now and then.
  constexpr size_t kMaxKeptShapes = 128;
  if (shapes_.size() >= kMaxKeptShapes && shapes_.find(key) == shapes_.end()) shapes_.clear();
  const auto [entry, first_time] = shapes_.try_emplace(key);
  // The first time a shape is drawn in place; it is kept from the second.
  if (first_time) return false;
  KeptShape& shape = entry->second;
  if (!shape.kept) {
    if (!KeepShape(key, &shape)) {
      shapes_.erase(entry);
      return false;
    }
    shape.kept = true;
  }
  for (const KeptPiece& piece : shape.pieces) {
    RECT dest = piece.area;
    ::OffsetRect(&dest, rc.left, rc.top);
    const RECT visible = VisiblePart(dest);
    if (!::IsRectEmpty(&visible)) BlendKept(piece.bitmap.get(), dest);
  }
  return true;
}

bool RenderContext_GdiPlus::KeepShape(const ShapeKey& key, KeptShape* shape) {
  // The shape is drawn at the origin; its pixels do not depend on where it
  // lies. Around the middle, where a fill is even and an outline has no
  // pixels, it is kept in four bands; a shape without such a middle is kept
  // whole.
  const RECT rc = {0, 0, key.width, key.height};
  const int pad = key.stroke + 2;
  RECT outer = rc;
  ::InflateRect(&outer, pad, pad);
  RECT middle = rc;
  ::InflateRect(&middle, -(key.corner_x + pad), -(key.corner_y + pad));
  std::vector<RECT> areas;
  if (Width(middle) > 0 && Height(middle) > 0) {
    areas = {{outer.left, outer.top, outer.right, middle.top},
             {outer.left, middle.bottom, outer.right, outer.bottom},
             {outer.left, middle.top, middle.left, middle.bottom},
             {middle.right, middle.top, outer.right, middle.bottom}};
  } else {
    areas = {outer};
  }
  // A skin may ask for a shape of any size; a rim larger than a few
  // megabytes is drawn in place each time instead.
  constexpr int64_t kMaxKeptPixels = 1 << 20;
  int64_t pixels = 0;
  for (const RECT& area : areas) pixels += static_cast<int64_t>(Width(area)) * Height(area);
  if (pixels > kMaxKeptPixels) return false;
  Gdiplus::GraphicsPath path;
  AddRoundRect(path, rc, SIZE{key.corner_x, key.corner_y});
  // Each drawing costs GDI+ about as much as covering this many pixels of
  // its bitmap, besides the pixels it covers: a slim shape is drawn once,
  // whole, and its bands are cut from that; a tall one band by band.
  constexpr int64_t kPixelsPerDrawing = 2048;
  const int64_t outer_pixels = static_cast<int64_t>(Width(outer)) * Height(outer);
  const bool cut =
      areas.size() > 1 &&
      outer_pixels - pixels <= static_cast<int64_t>(areas.size() - 1) * kPixelsPerDrawing;
  std::vector<DWORD> whole;
  if (cut) whole.assign(static_cast<size_t>(outer_pixels), 0);
  auto draw_shape = [&](DWORD* into, const RECT& area) {
    return DrawOnClearPixels(into, Width(area), Height(area), POINT{area.left, area.top}, true,
                             [&](Gdiplus::Graphics& graphics) {
                               if (key.stroke > 0) {
                                 Gdiplus::Pen pen(Gdiplus::Color(key.color),
                                                  static_cast<Gdiplus::REAL>(key.stroke));
                                 graphics.DrawPath(&pen, &path);
                               } else {
                                 Gdiplus::SolidBrush brush{Gdiplus::Color(key.color)};
                                 graphics.FillPath(&brush, &path);
                               }
                             });
  };
  if (cut && !draw_shape(whole.data(), outer)) return false;
  shape->pieces.clear();
  for (const RECT& area : areas) {
    void* raw = nullptr;
    cbase::ScopedBitmap bitmap = MakeTopDownBitmap(Width(area), Height(area), &raw);
    if (!bitmap.get()) return false;
    auto* pixels = static_cast<DWORD*>(raw);
    if (cut) {
      const DWORD* from = whole.data();
      const size_t from_width = static_cast<size_t>(Width(outer));
      const size_t width = static_cast<size_t>(Width(area));
      for (LONG y = area.top; y < area.bottom; ++y) {
        const DWORD* row = from + static_cast<size_t>(y - outer.top) * from_width +
                           static_cast<size_t>(area.left - outer.left);
        std::copy(row, row + width, pixels + static_cast<size_t>(y - area.top) * width);
      }
    } else if (!draw_shape(pixels, area)) {
      return false;
    }
    const size_t count = static_cast<size_t>(Width(area)) * Height(area);
    if (std::all_of(pixels, pixels + count, [](DWORD pixel) { return pixel == 0; })) continue;
    shape->pieces.push_back(KeptPiece{std::move(bitmap), area});
  }
  return true;
}

bool RenderContext_GdiPlus::CanWriteBits() const {
  return GetBits() != nullptr && top_down_ && ::GetMapMode(hdc_.get()) == MM_TEXT &&
         ::GetGraphicsMode(hdc_.get()) == GM_COMPATIBLE;
}

bool RenderContext_GdiPlus::DirectArea(const RECT& rc, RECT* placed, std::vector<RECT>* parts) {
  const int width = GetWidth();
  const RECT whole = {0, 0, width, GetHeight()};
  POINT corners[2] = {{rc.left, rc.top}, {rc.right, rc.bottom}};
  ::LPtoDP(hdc_.get(), corners, 2);
  *placed = RECT{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
  parts->clear();
  RECT target;
  if (!::IntersectRect(&target, placed, &whole)) return true;

  // The clip region is in device coordinates; without one the whole bitmap
  // may be drawn.
  const cbase::ScopedRegion clip_owner(::CreateRectRgn(0, 0, 0, 0));
  const HRGN clip = clip_owner.get();
  const int clipped = ::GetClipRgn(hdc_.get(), clip);
  std::vector<RECT> clip_rects;
  if (clipped == 0) {
    clip_rects.push_back(whole);
  } else if (clipped == 1) {
    const DWORD size = ::GetRegionData(clip, 0, nullptr);
    std::vector<BYTE> buffer(size);
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    if (size != 0 && ::GetRegionData(clip, size, data) == size) {
      const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
      clip_rects.assign(rects, rects + data->rdh.nCount);
    }
  }
  // A clip whose rectangles could not be read leaves the drawing to GDI.
  if (clipped < 0 || (clipped == 1 && clip_rects.empty())) return false;
  for (const RECT& part : clip_rects) {
    RECT area;
    if (::IntersectRect(&area, &part, &target)) parts->push_back(area);
  }
  return true;
}

bool RenderContext_GdiPlus::FillDirect(const RECT& rc, DWORD pixel) {
  RECT placed;
  std::vector<RECT> parts;
  if (!DirectArea(rc, &placed, &parts)) return false;
  if (parts.empty()) return true;
  BYTE* bits = GetBits();
  const int width = GetWidth();
  ::GdiFlush();
  for (const RECT& area : parts) {
    for (int y = area.top; y < area.bottom; ++y) {
      auto* row = reinterpret_cast<DWORD*>(bits + static_cast<size_t>(y) * width * 4);
      std::fill(row + area.left, row + area.right, pixel);
    }
  }
  return true;
}

bool RenderContext_GdiPlus::BlendDirect(const DWORD* from, int from_width, int from_height,
                                        POINT source, const RECT& dest, bool one_row) {
  if (one_row) {
    source.y = 0;
    from_height = Height(dest);
  }
  if (from == nullptr || !CanWriteBits() || source.x < 0 || source.y < 0 ||
      source.x + Width(dest) > from_width || source.y + Height(dest) > from_height) {
    return false;
  }
  RECT placed;
  std::vector<RECT> parts;
  if (!DirectArea(dest, &placed, &parts)) return false;
  // A mirrored or scaled mapping would not keep the pixels one to one.
  if (Width(placed) != Width(dest) || Height(placed) != Height(dest)) return false;
  if (parts.empty()) return true;
  auto* bits = reinterpret_cast<DWORD*>(GetBits());
  const size_t width = static_cast<size_t>(GetWidth());
  const size_t stride = one_row ? 0 : static_cast<size_t>(from_width);
  ::GdiFlush();
  for (const RECT& area : parts) {
    const size_t src_x = static_cast<size_t>(source.x + area.left - placed.left);
    const size_t src_y = static_cast<size_t>(source.y + area.top - placed.top);
    BlendPixelsOver(bits + static_cast<size_t>(area.top) * width + area.left, width,
                    from + src_y * stride + src_x, stride, Width(area), Height(area));
  }
  return true;
}

void RenderContext_GdiPlus::DrawText(const RECT& rc, const std::wstring& text, ARGB color,
                                     HFONT font, UINT format, BYTE fade, bool line_limit) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (text.empty()) return;
  DrawTextInPlace(GetTextFont(font), rc, text, color, format, fade, line_limit);
}

void RenderContext_GdiPlus::DrawTextInPlace(const TextFont& text_font, const RECT& rc,
                                            const std::wstring& text, ARGB color, UINT format,
                                            BYTE fade, bool line_limit) {
  if (DrawTextBlended(text_font, rc, text, color, format, fade, line_limit)) return;
  Graphics graphics(hdc_.get());
  DrawTextWith(graphics, text_font, rc, text, color, format, fade, line_limit);
}

bool RenderContext_GdiPlus::DrawTextBlended(const TextFont& text_font, const RECT& rc,
                                            const std::wstring& text, ARGB color, UINT format,
                                            BYTE fade, bool line_limit) {
  // GDI+ clips text to about its box (a glyph's edge may still show a pixel
  // past it); a single line that is not clipped (DT_NOCLIP) is cut to the
  // box's width by its ellipsis and overhangs by less than a glyph. Other
  // unclipped text runs as far as its lines go: it is drawn in place.
  if ((format & DT_NOCLIP) && (!(format & DT_SINGLELINE) || !(format & DT_END_ELLIPSIS))) {
    return false;
  }
  RECT reach = rc;
  const int pad = static_cast<int>(text_font.font->GetSize()) + 2;
  ::InflateRect(&reach, pad, pad);
  return DrawBlended(reach, false, [&](Gdiplus::Graphics& graphics) {
    DrawTextWith(graphics, text_font, rc, text, color, format, fade, line_limit);
  });
}

RenderContext_GdiPlus::TextLayout RenderContext_GdiPlus::LayOutText(Gdiplus::Graphics& graphics,
                                                                    const TextFont& text_font,
                                                                    const RECT& rc, UINT format,
                                                                    bool line_limit) {
  TextLayout layout;
  layout.format.reset(Gdiplus::StringFormat::GenericTypographic()->Clone());
  Gdiplus::StringFormat* string_format = layout.format.get();
  if (format & DT_END_ELLIPSIS)
    string_format->SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
  INT flags = 0;
  if (format & DT_NOCLIP) flags |= Gdiplus::StringFormatFlagsNoClip;
  if (format & DT_SINGLELINE) flags |= Gdiplus::StringFormatFlagsNoWrap;
  if (line_limit) flags |= Gdiplus::StringFormatFlagsLineLimit;
  string_format->SetFormatFlags(flags);

  if (format & DT_CENTER) {
    string_format->SetAlignment(Gdiplus::StringAlignmentCenter);
  } else if (format & DT_RIGHT) {
    string_format->SetAlignment(Gdiplus::StringAlignmentFar);
  } else {
    string_format->SetAlignment(Gdiplus::StringAlignmentNear);
  }

  RECT box = rc;
  if (format & DT_VCENTER) {
    string_format->SetLineAlignment(Gdiplus::StringAlignmentCenter);
    // NSimSun sits one pixel high when centred vertically.
    if (text_font.face == L"\x65B0\x5B8B\x4F53" &&
        Height(rc) >= text_font.font->GetHeight(&graphics) + 2) {
      ::OffsetRect(&box, 0, 1);
    }
  } else if (format & DT_BOTTOM) {
    string_format->SetLineAlignment(Gdiplus::StringAlignmentFar);
  } else {
    string_format->SetLineAlignment(Gdiplus::StringAlignmentNear);
  }
  layout.box = Gdiplus::RectF(
      static_cast<Gdiplus::REAL>(box.left), static_cast<Gdiplus::REAL>(box.top),
      static_cast<Gdiplus::REAL>(Width(box)), static_cast<Gdiplus::REAL>(Height(box)));
  return layout;
}

void RenderContext_GdiPlus::DrawTextWith(Gdiplus::Graphics& graphics, const TextFont& text_font,
                                         const RECT& rc, const std::wstring& text, ARGB color,
                                         UINT format, BYTE fade, bool line_limit) {
  // Text is never drawn fully opaque. A translucent brush also keeps GDI+ to
  // grey-scale anti-aliasing, whose pixels blend the same over any
  // background: kept text relies on that.
  BYTE alpha = static_cast<BYTE>(static_cast<double>(color >> 24) / 255.0 * fade);
  if (alpha == 255) alpha = 254;
  Gdiplus::SolidBrush brush(Gdiplus::Color((static_cast<ARGB>(alpha) << 24) | (color & 0xFFFFFF)));
  const TextLayout layout = LayOutText(graphics, text_font, rc, format, line_limit);
  graphics.DrawString(text.c_str(), static_cast<INT>(text.size()), text_font.font, layout.box,
                      layout.format.get(), &brush);
}

void RenderContext_GdiPlus::DrawKeptText(const RECT& rc, const std::wstring& text, ARGB color,
                                         HFONT font, UINT format, bool line_limit,
                                         TextImage* image) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (text.empty()) return;
  const TextFont text_font = GetTextFont(font);
  auto draw_in_place = [&] {
    DrawTextInPlace(text_font, rc, text, color, format, 255, line_limit);
  };
  if (!image || !text_font.key) {
    if (image) image->Clear();
    draw_in_place();
    return;
  }
  // Text is drawn straight the first time it is seen and kept from the
  // second: text that changes every frame (a percentage, a speed) never pays
  // for keeping.
  const TextImage::Key key{text, *text_font.key, Width(rc), Height(rc), color, format, line_limit};
  if (!image->Remember(key)) {
    draw_in_place();
    return;
  }
  if (!image->IsKept() && !KeepText(rc, text, color, text_font, format, line_limit, image)) {
    image->Clear();
    draw_in_place();
    return;
  }
  if (!image->bitmap()) return;  // nothing visible
  const POINT offset = image->offset();
  const SIZE size = image->size();
  BlendKept(image->bitmap(), RECT{rc.left + offset.x, rc.top + offset.y,
                                  rc.left + offset.x + size.cx, rc.top + offset.y + size.cy});
}

HDC RenderContext_GdiPlus::ScratchDC() {
  if (!scratch_dc_.get()) scratch_dc_.reset(::CreateCompatibleDC(hdc_.get()));
  return scratch_dc_.get();
}

void RenderContext_GdiPlus::BlendKept(HBITMAP bitmap, const RECT& dest) {
  // Kept pixels are top-down sections of their own.
  DIBSECTION section = {};
  if (::GetObjectW(bitmap, sizeof(section), &section) == sizeof(section) &&
      section.dsBm.bmBitsPixel == 32 &&
      BlendDirect(static_cast<const DWORD*>(section.dsBm.bmBits), section.dsBm.bmWidth,
                  section.dsBm.bmHeight, POINT{0, 0}, dest)) {
    return;
  }
  const cbase::ScopedSelectObject select(ScratchDC(), bitmap);
  const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  ::GdiAlphaBlend(hdc_.get(), dest.left, dest.top, Width(dest), Height(dest), ScratchDC(), 0, 0,
                  Width(dest), Height(dest), blend);
}

void RenderContext_GdiPlus::DrawAside(HBITMAP bitmap, POINT origin,
                                      const std::function<void(Gdiplus::Graphics&)>& draw) {
  const HDC dc = ScratchDC();
  {
    const cbase::ScopedSelectObject select(dc, bitmap);
    POINT old_origin;
    ::SetWindowOrgEx(dc, origin.x, origin.y, &old_origin);
    {
      Graphics graphics(dc);
      draw(graphics);
    }
    ::SetWindowOrgEx(dc, old_origin.x, old_origin.y, nullptr);
  }
  ::GdiFlush();
}

bool RenderContext_GdiPlus::ClipCutsOnlyStraight(const RECT& visible) const {
  const cbase::ScopedRegion clip(::CreateRectRgn(0, 0, 0, 0));
  const int clipped = ::GetClipRgn(hdc_.get(), clip.get());
  if (clipped == 0) return true;
  RECT box;
  if (clipped != 1) return false;
  if (::GetRgnBox(clip.get(), &box) == SIMPLEREGION) return true;
  // A rounded clip (a window's or a card's corners) around a drawing that
  // keeps away from its corners cuts nothing of it.
  POINT corners[2] = {{visible.left, visible.top}, {visible.right, visible.bottom}};
  ::LPtoDP(hdc_.get(), corners, 2);
  const cbase::ScopedRegion outside(
      ::CreateRectRgn(corners[0].x, corners[0].y, corners[1].x, corners[1].y));
  return ::CombineRgn(outside.get(), outside.get(), clip.get(), RGN_DIFF) == NULLREGION;
}

bool RenderContext_GdiPlus::DrawBlended(const RECT& reach, bool anti_alias,
                                        const std::function<void(Gdiplus::Graphics&)>& draw) {
  if (!CanWriteBits()) return false;
  const RECT visible = VisiblePart(reach);
  if (::IsRectEmpty(&visible)) return true;
  if (!ClipCutsOnlyStraight(visible)) return false;
  // Past this size GDI+'s own cost per pixel outweighs the call's.
  constexpr int64_t kMaxBlendedPixels = 1 << 16;
  const int64_t count = static_cast<int64_t>(Width(visible)) * Height(visible);
  if (count > kMaxBlendedPixels) return false;
  aside_.assign(static_cast<size_t>(count), 0);
  if (!DrawOnClearPixels(aside_.data(), Width(visible), Height(visible),
                         POINT{visible.left, visible.top}, anti_alias, draw)) {
    return false;
  }
  return BlendDirect(aside_.data(), Width(visible), Height(visible), POINT{0, 0}, visible);
}

bool RenderContext_GdiPlus::KeepText(const RECT& rc, const std::wstring& text, ARGB color,
                                     const TextFont& text_font, UINT format, bool line_limit,
                                     TextImage* image) {
  // Where the laid-out text lies, with room around it for glyphs that reach
  // past their advance (italics, accents).
  RECT area = rc;
  {
    Graphics graphics(hdc_.get());
    const TextLayout layout = LayOutText(graphics, text_font, rc, format, line_limit);
    Gdiplus::RectF bounds;
    if (graphics.MeasureString(text.c_str(), static_cast<INT>(text.size()), text_font.font,
                               layout.box, layout.format.get(), &bounds) != Gdiplus::Ok) {
      return false;
    }
    const RECT measured = {static_cast<LONG>(std::floor(bounds.X)),
                           static_cast<LONG>(std::floor(bounds.Y)),
                           static_cast<LONG>(std::ceil(bounds.X + bounds.Width)),
                           static_cast<LONG>(std::ceil(bounds.Y + bounds.Height))};
    ::UnionRect(&area, &area, &measured);
    const int pad = static_cast<int>(text_font.font->GetHeight(&graphics)) / 2 + 2;
    ::InflateRect(&area, pad, pad);
  }
  const int width = Width(area), height = Height(area);
  // A box this large is not a label; it is not worth its memory.
  constexpr int kMaxKeptPixels = 1 << 20;
  if (width <= 0 || height <= 0 || width > kMaxKeptPixels / height) return false;

  void* raw = nullptr;
  cbase::ScopedBitmap canvas = MakeTopDownBitmap(width, height, &raw);
  if (!canvas.get()) return false;
  // The canvas takes the context's coordinates, so the text is laid out
  // exactly as it would be drawn in place.
  DrawAside(canvas.get(), POINT{area.left, area.top}, [&](Gdiplus::Graphics& graphics) {
    DrawTextWith(graphics, text_font, rc, text, color, format, 255, line_limit);
  });

  // Only the pixels the text touched are kept.
  const auto* pixels = static_cast<const DWORD*>(raw);
  RECT ink = {width, height, 0, 0};
  for (int y = 0; y < height; ++y) {
    const DWORD* row = pixels + static_cast<size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      if (row[x] == 0) continue;
      ink.left = std::min<LONG>(ink.left, x);
      ink.right = std::max<LONG>(ink.right, x + 1);
      ink.top = std::min<LONG>(ink.top, y);
      ink.bottom = y + 1;
    }
  }
  if (::IsRectEmpty(&ink)) {
    image->Keep(cbase::ScopedBitmap(), POINT{0, 0}, SIZE{0, 0});
    return true;
  }
  const POINT offset = {area.left - rc.left + ink.left, area.top - rc.top + ink.top};
  const SIZE size = {Width(ink), Height(ink)};
  if (size.cx == width && size.cy == height) {
    image->Keep(std::move(canvas), offset, size);
    return true;
  }
  void* kept_raw = nullptr;
  cbase::ScopedBitmap kept = MakeTopDownBitmap(size.cx, size.cy, &kept_raw);
  if (!kept.get()) return false;
  auto* out = static_cast<DWORD*>(kept_raw);
  for (int y = 0; y < size.cy; ++y) {
    const DWORD* from = pixels + static_cast<size_t>(ink.top + y) * width + ink.left;
    std::copy(from, from + size.cx, out + static_cast<size_t>(y) * size.cx);
  }
  image->Keep(std::move(kept), offset, size);
  return true;
}

void RenderContext_GdiPlus::DrawEllipse(const RECT& rc, int width, ARGB color) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Gdiplus::Pen pen(Gdiplus::Color(color), static_cast<Gdiplus::REAL>(width));
  auto draw = [&](Gdiplus::Graphics& graphics) {
    graphics.DrawEllipse(&pen, static_cast<INT>(rc.left), static_cast<INT>(rc.top), Width(rc),
                         Height(rc));
  };
  if (DrawBlended(ShapeReach(rc, width + 2), true, draw)) return;
  Graphics graphics(hdc_.get());
  draw(graphics);
}

void RenderContext_GdiPlus::FillEllipse(const RECT& rc, ARGB color) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Gdiplus::SolidBrush brush{Gdiplus::Color(color)};
  auto draw = [&](Gdiplus::Graphics& graphics) {
    graphics.FillEllipse(&brush, static_cast<INT>(rc.left), static_cast<INT>(rc.top), Width(rc),
                         Height(rc));
  };
  if (DrawBlended(ShapeReach(rc, 2), true, draw)) return;
  Graphics graphics(hdc_.get());
  draw(graphics);
}

RECT RenderContext_GdiPlus::MeasureText(const std::wstring& text, HFONT font, UINT format,
                                        int width) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  Graphics graphics(hdc_.get());
  const TextFont text_font = GetTextFont(font);
  std::unique_ptr<Gdiplus::StringFormat> string_format(
      Gdiplus::StringFormat::GenericTypographic()->Clone());
  if (format & DT_SINGLELINE) {
    string_format->SetFormatFlags(string_format->GetFormatFlags() |
                                  Gdiplus::StringFormatFlagsNoWrap);
  }

  Gdiplus::RectF bounds;
  if (width == -1) {
    graphics.MeasureString(text.c_str(), static_cast<INT>(text.size()), text_font.font,
                           Gdiplus::PointF(0, 0), string_format.get(), &bounds);
  } else {
    Gdiplus::REAL height = 0;
    if (format & DT_SINGLELINE) {
      // One line of the font's CJK height, whatever the text holds; measured
      // once per font.
      auto known =
          text_font.key != nullptr ? line_heights_.find(*text_font.key) : line_heights_.end();
      if (known != line_heights_.end()) {
        height = known->second;
      } else {
        Gdiplus::RectF probe;
        const bool measured =
            graphics.MeasureString(L"\x6D4B\x8BD5", 2, text_font.font, Gdiplus::PointF(0, 0),
                                   string_format.get(), &probe) == Gdiplus::Ok;
        height = probe.Height;
        if (measured && text_font.key != nullptr) line_heights_.emplace(*text_font.key, height);
      }
    }
    const Gdiplus::RectF layout(0, 0, static_cast<Gdiplus::REAL>(width), height);
    graphics.MeasureString(text.c_str(), static_cast<INT>(text.size()), text_font.font, layout,
                           string_format.get(), &bounds);
  }
  return RECT{static_cast<LONG>(bounds.X), static_cast<LONG>(bounds.Y),
              static_cast<LONG>(bounds.X + bounds.Width + 1),
              static_cast<LONG>(bounds.Y + bounds.Height + 1)};
}

void RenderContext_GdiPlus::DrawPath(const IPath* path, const IPen* pen) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const Path_Gdiplus* gdiplus_path = dynamic_cast<const Path_Gdiplus*>(path);
  const Gdiplus::Pen* gdiplus_pen = PenOf(pen);
  if (!gdiplus_path || !gdiplus_pen) return;
  Graphics graphics(hdc_.get());
  graphics.DrawPath(gdiplus_pen, gdiplus_path->GetPath());
}

void RenderContext_GdiPlus::FillPath(const IPath* path, const IBrush* brush) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  const Path_Gdiplus* gdiplus_path = dynamic_cast<const Path_Gdiplus*>(path);
  const Brush_Gdiplus* gdiplus_brush = dynamic_cast<const Brush_Gdiplus*>(brush);
  if (!gdiplus_path || !gdiplus_brush || !gdiplus_brush->GetBrush()) return;
  Graphics graphics(hdc_.get());
  graphics.FillPath(gdiplus_brush->GetBrush(), gdiplus_path->GetPath());
}

}  // namespace ui
