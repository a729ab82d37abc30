// The system's share of a skinned window's first frame, for the window
// benchmark's floor: read off the window once it is open, then made through
// the system alone onto a bare frame, with none of the window's own work (no
// skin, no controls, no layout, nothing kept between frames). What is read:
// the texts its visible labels show (text, font, box, colour), drawn with
// GDI+; whether it has rich edit fields, whose library is loaded (the
// fields' text services are the window's own work); and the window alpha its
// first frame was presented with (a window that fades in shows it faint, and
// the system charges more for blending a frame at an alpha below 255).
// Fills, pictures and the shadow are left out: the window draws them in ways
// of its own (bands of a nine-grid, shapes kept between frames) that a plain
// GDI+ replay would overstate, and leaving them out keeps the floor below the
// system's true share.
//
// Made and used on the UI thread; GDI+ must be started.
#pragma once

#include <windows.h>

#include <vector>

#include "bench/ui/floor_texts.h"

namespace ui {
class Window;
}  // namespace ui

class FirstFrameFloor {
 public:
  // What |window| shows now, its first frame just presented.
  explicit FirstFrameFloor(ui::Window& window);

  // Loads the rich edit library when the window has fields, until Unmake.
  void Make();
  void Unmake();
  // Draws the texts onto |dc|.
  void Paint(HDC dc) const;

  size_t texts() const { return texts_.size(); }
  int rich_edits() const { return rich_edits_; }
  // The window alpha to present the floor's frame with.
  BYTE alpha() const { return alpha_; }

 private:
  std::vector<FloorText> texts_;
  int rich_edits_ = 0;
  BYTE alpha_ = 255;
  // Loaded by Make.
  HMODULE rich_edit_ = nullptr;
};
