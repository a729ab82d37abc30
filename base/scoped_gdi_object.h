// Owners for GDI resources: objects freed with DeleteObject (bitmaps, fonts,
// brushes, regions, pens), icons, memory DCs, a window's DC from GetDC, and a
// restorer for SelectObject.
//
// GDI objects may be used from any thread but a DC should stay on the thread
// that made it; each owner here belongs to one thread at a time. The owners
// are move-only except ScopedSelectObject, which restores in its own scope.
#pragma once

#include <windows.h>

#include "base/scoped_generic.h"

namespace cbase {

template <typename T>
struct GdiObjectTraits {
  using Type = T;
  static T Invalid() { return nullptr; }
  static bool IsValid(T object) { return object != nullptr; }
  static void Free(T object) { ::DeleteObject(object); }
};

template <typename T>
using ScopedGdiObject = ScopedGeneric<GdiObjectTraits<T>>;
using ScopedBitmap = ScopedGdiObject<HBITMAP>;
using ScopedFont = ScopedGdiObject<HFONT>;
using ScopedBrush = ScopedGdiObject<HBRUSH>;
using ScopedRegion = ScopedGdiObject<HRGN>;
using ScopedPen = ScopedGdiObject<HPEN>;

struct IconTraits {
  using Type = HICON;
  static HICON Invalid() { return nullptr; }
  static bool IsValid(HICON icon) { return icon != nullptr; }
  static void Free(HICON icon) { ::DestroyIcon(icon); }
};
using ScopedIcon = ScopedGeneric<IconTraits>;

// A DC from CreateCompatibleDC / CreateDC, deleted with DeleteDC. Whatever was
// selected into it must be selected out first (see ScopedSelectObject).
struct CreatedDCTraits {
  using Type = HDC;
  static HDC Invalid() { return nullptr; }
  static bool IsValid(HDC dc) { return dc != nullptr; }
  static void Free(HDC dc) { ::DeleteDC(dc); }
};
using ScopedCreatedDC = ScopedGeneric<CreatedDCTraits>;

// A window's (or, for nullptr, the screen's) DC from GetDC, given back with
// ReleaseDC to the same window.
class ScopedGetDC {
 public:
  explicit ScopedGetDC(HWND hwnd) : hwnd_(hwnd), dc_(::GetDC(hwnd)) {}
  ~ScopedGetDC() { Release(); }
  ScopedGetDC(ScopedGetDC&& other) noexcept : hwnd_(other.hwnd_), dc_(other.dc_) {
    other.dc_ = nullptr;
  }
  ScopedGetDC& operator=(ScopedGetDC&& other) noexcept {
    if (this != &other) {
      Release();
      hwnd_ = other.hwnd_;
      dc_ = other.dc_;
      other.dc_ = nullptr;
    }
    return *this;
  }
  ScopedGetDC(const ScopedGetDC&) = delete;
  ScopedGetDC& operator=(const ScopedGetDC&) = delete;

  HDC get() const { return dc_; }
  explicit operator bool() const { return dc_ != nullptr; }

  // Gives the DC back now; the owner is empty afterwards.
  void reset() { Release(); }

 private:
  void Release() {
    if (dc_ != nullptr) ::ReleaseDC(hwnd_, dc_);
    dc_ = nullptr;
  }

  HWND hwnd_;
  HDC dc_;
};

// Selects an object into a DC and selects the previous one back when the
// scope ends, so the object can be deleted and the DC freed cleanly.
class ScopedSelectObject {
 public:
  ScopedSelectObject(HDC dc, HGDIOBJ object)
      : dc_(dc), old_(dc != nullptr && object != nullptr ? ::SelectObject(dc, object) : nullptr) {}
  ~ScopedSelectObject() {
    if (old_ != nullptr && old_ != HGDI_ERROR) ::SelectObject(dc_, old_);
  }
  ScopedSelectObject(const ScopedSelectObject&) = delete;
  ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace cbase
