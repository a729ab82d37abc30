// Clipping of a device context by saved states: each clip saves the state
// and narrows the clip region, each ClearClip restores the last saved state.
// Holds no resources of its own. UI thread only.
#ifndef UI_RENDER_GDI_CLIP_H_
#define UI_RENDER_GDI_CLIP_H_

#include <windows.h>

#include "base/thread_checker.h"
#include "ui/render/render.h"

namespace ui {

class GdiClip : public IClip {
 public:
  void CreateClip(HDC hdc, const RECT& rc) override;
  void CreateRoundClip(HDC hdc, const RECT& rc, int width, int height) override;
  void ClearClip(HDC hdc) override;

 private:
  cbase::ThreadChecker thread_checker_;
};

}  // namespace ui

#endif  // UI_RENDER_GDI_CLIP_H_
