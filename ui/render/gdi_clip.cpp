#include "ui/render/gdi_clip.h"

namespace ui {

namespace {

// Clip regions are in device coordinates; the context draws in logical ones.
RECT ToDevice(HDC hdc, const RECT& rc) {
  POINT origin = {};
  ::GetWindowOrgEx(hdc, &origin);
  RECT device = rc;
  ::OffsetRect(&device, -origin.x, -origin.y);
  return device;
}

void NarrowClip(HDC hdc, HRGN region) {
  ::SaveDC(hdc);
  if (region) {
    ::ExtSelectClipRgn(hdc, region, RGN_AND);
    ::DeleteObject(region);
  }
}

}  // namespace

void GdiClip::CreateClip(HDC hdc, const RECT& rc) {
  if (!hdc) return;
  const RECT device = ToDevice(hdc, rc);
  NarrowClip(hdc, ::CreateRectRgnIndirect(&device));
}

void GdiClip::CreateRoundClip(HDC hdc, const RECT& rc, int width, int height) {
  if (!hdc) return;
  const RECT device = ToDevice(hdc, rc);
  NarrowClip(hdc, ::CreateRoundRectRgn(device.left, device.top, device.right + 1, device.bottom + 1,
                                       width, height));
}

void GdiClip::ClearClip(HDC hdc) {
  if (hdc) ::RestoreDC(hdc, -1);
}

}  // namespace ui
