// SampleWindow: the branded window of the sample programs. A fixed-size
// top-level window with a teal header (logo mark, heading, version), a few
// lines of text below and, for an installation in progress, a progress bar
// that fills over the window's lifetime. Painted with GDI alone.
//
// It closes on WM_CLOSE like any window, and by itself after
// `close_after_ms` when that is 0 or more (the progress bar then runs over
// that time). Run() owns the message loop of the calling thread until the
// window is gone; create, run and destroy it on that one thread.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "base/scoped_gdi_object.h"

struct SampleWindowContent {
  std::wstring title;               // caption (what the task bar and xdotool see)
  std::wstring heading;             // large text in the header
  std::wstring version;             // small text beside the heading
  std::vector<std::wstring> lines;  // body text, one line each (long ones are cut)
  bool progress = false;            // show a progress bar (needs close_after_ms > 0)
  int close_after_ms = -1;          // < 0: stays until closed
};

class SampleWindow {
 public:
  explicit SampleWindow(SampleWindowContent content);
  ~SampleWindow();
  SampleWindow(const SampleWindow&) = delete;
  SampleWindow& operator=(const SampleWindow&) = delete;

  // Shows the window centred on the primary monitor and runs the message
  // loop until it is destroyed. Returns the quit code (0), or 1 when the
  // window could not be created.
  int Run(HINSTANCE instance, int show);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void Paint(HDC dc, const RECT& client);
  void PaintHeader(HDC dc, const RECT& client);
  void PaintBody(HDC dc, const RECT& client);
  void PaintProgress(HDC dc, const RECT& client);
  int ProgressPercent() const;

  SampleWindowContent content_;
  HWND window_ = nullptr;
  cbase::ScopedFont heading_font_;
  cbase::ScopedFont mark_font_;
  cbase::ScopedFont text_font_;
  cbase::ScopedFont small_font_;
  ULONGLONG shown_at_ = 0;
};
