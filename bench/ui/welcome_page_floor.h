// The system's share of the welcome page's first frame, for the benchmark
// floors: what drawing that frame asks of the system, with none of the
// skinned window's own work (no skin, no controls, no layout, no decoding).
// GDI+ draws a picture of the header's size whose pixels are made in memory
// and the page's texts for the demo product in the assistant's face and
// sizes; the rich edit library is loaded for the page's location field (its
// text services are the window's own work).
//
// Needs GDI+ started for its whole life. Owned by the floor that draws it; the
// thread that made it uses it.
#pragma once

#include <windows.h>

#include <gdiplus.h>

#include <memory>
#include <vector>

#include "bench/ui/floor_texts.h"

class WelcomePageFloor {
 public:
  // The demo product's texts on the page, which the benchmarks give the
  // skinned window too: its name line, its introduction, the location.
  static const wchar_t kTitle[];
  static const wchar_t kIntroduction[];
  static const wchar_t kLocation[];

  WelcomePageFloor();
  ~WelcomePageFloor();
  WelcomePageFloor(const WelcomePageFloor&) = delete;
  WelcomePageFloor& operator=(const WelcomePageFloor&) = delete;

  // Draws the picture at the top and the texts below it onto |dc|.
  void Paint(HDC dc) const;

 private:
  std::unique_ptr<Gdiplus::Bitmap> picture_;
  std::vector<FloorText> texts_;
  HMODULE rich_edit_ = nullptr;
};
