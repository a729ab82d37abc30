#include "ui/render/gdi_clip.h"

#include "base/scoped_gdi_object.h"

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

// The DC keeps its own copy of the region.
void NarrowClip(HDC hdc, const cbase::ScopedRegion& region) {
  ::SaveDC(hdc);
  if (region) ::ExtSelectClipRgn(hdc, region.get(), RGN_AND);
}

}  // namespace

void GdiClip::CreateClip(HDC hdc, const RECT& rc) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!hdc) return;
  const RECT device = ToDevice(hdc, rc);
  NarrowClip(hdc, cbase::ScopedRegion(::CreateRectRgnIndirect(&device)));
}

void GdiClip::CreateRoundClip(HDC hdc, const RECT& rc, int width, int height) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (!hdc) return;
  const RECT device = ToDevice(hdc, rc);
  NarrowClip(hdc,
             cbase::ScopedRegion(::CreateRoundRectRgn(device.left, device.top, device.right + 1,
                                                      device.bottom + 1, width, height)));
}

void GdiClip::ClearClip(HDC hdc) {
  CBASE_DCHECK_ON_THREAD(thread_checker_);
  if (hdc) ::RestoreDC(hdc, -1);
}

}  // namespace ui
