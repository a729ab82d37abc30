// The floor of the window benchmarks: a Win32 layered popup that fills one
// white 32-bit frame of its own and presents it with UpdateLayeredWindow,
// with nothing else (no skin, no controls, no GDI+ unless its painter uses
// it).
//
// Owned by whoever constructs it; created, presented and destroyed on that
// thread, which must pump its messages.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class BareLayeredWindow {
 public:
  // Registers the window class (once per process, before the first window).
  static void Register();

  // Draws on a frame after the white fill, before it is presented.
  using Painter = std::function<void(HDC)>;

  // Creates the popup at (x, y), presents its first white frame (with
  // |paint|'s drawing on it) at window alpha |alpha| and shows it (without
  // activating it).
  BareLayeredWindow(int x, int y, int width, int height, const std::wstring& title = L"bare",
                    Painter paint = nullptr, BYTE alpha = 255);
  ~BareLayeredWindow();
  BareLayeredWindow(const BareLayeredWindow&) = delete;
  BareLayeredWindow& operator=(const BareLayeredWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  // Fills the frame white and hands it to the system at the window alpha;
  // with |dirty|, only that part of it (the least a change there can cost).
  void Present(const RECT* dirty = nullptr);

 private:
  Painter paint_;
  int x_;
  int y_;
  int width_;
  int height_;
  BYTE alpha_;
  HWND hwnd_ = nullptr;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};
