#include "tools/samples/sample_window.h"

#include <utility>

namespace {

const wchar_t kClassName[] = L"FernwickSampleWindow";
const wchar_t kFace[] = L"Microsoft YaHei";  // has the Chinese glyphs on Windows

constexpr int kWidth = 560;  // client area
constexpr int kHeight = 330;
constexpr int kHeaderHeight = 110;
constexpr int kMargin = 28;

constexpr UINT_PTR kTickTimer = 1;   // repaints the progress bar
constexpr UINT_PTR kCloseTimer = 2;  // closes the window after close_after_ms
constexpr UINT kTickMs = 40;

const COLORREF kHeaderTop = RGB(0x14, 0x8A, 0x7C);
const COLORREF kHeaderBottom = RGB(0x0B, 0x5C, 0x62);
const COLORREF kText = RGB(0x26, 0x32, 0x38);
const COLORREF kQuietText = RGB(0x5F, 0x6B, 0x70);
const COLORREF kTrack = RGB(0xE3, 0xEC, 0xEB);
const COLORREF kFill = RGB(0x2B, 0xA8, 0x6A);

HFONT MakeFont(int pixels, int weight) {
  return ::CreateFontW(-pixels, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       DEFAULT_PITCH | FF_SWISS, kFace);
}

void Fill(HDC dc, const RECT& rect, COLORREF color) {
  const cbase::ScopedBrush brush(::CreateSolidBrush(color));
  ::FillRect(dc, &rect, brush.get());
}

int Mix(int from, int to, int step, int steps) { return from + (to - from) * step / steps; }

void Text(HDC dc, HFONT font, COLORREF color, const std::wstring& text, RECT rect, UINT format) {
  ::SelectObject(dc, font);
  ::SetTextColor(dc, color);
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
              format | DT_NOPREFIX | DT_SINGLELINE);
}

}  // namespace

SampleWindow::SampleWindow(SampleWindowContent content) : content_(std::move(content)) {}

SampleWindow::~SampleWindow() {
  // The fonts go after the window that draws with them.
  if (window_ != nullptr) ::DestroyWindow(window_);
}

int SampleWindow::Run(HINSTANCE instance, int show) {
  WNDCLASSEXW klass = {};
  klass.cbSize = sizeof(klass);
  klass.lpfnWndProc = &SampleWindow::WindowProc;
  klass.hInstance = instance;
  klass.hIcon = ::LoadIconW(nullptr, IDI_APPLICATION);
  klass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  klass.lpszClassName = kClassName;
  if (::RegisterClassExW(&klass) == 0 && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 1;

  heading_font_.reset(MakeFont(34, FW_BOLD));
  mark_font_.reset(MakeFont(40, FW_BOLD));
  text_font_.reset(MakeFont(17, FW_NORMAL));
  small_font_.reset(MakeFont(14, FW_NORMAL));

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  RECT frame = {0, 0, kWidth, kHeight};
  ::AdjustWindowRectEx(&frame, style, FALSE, 0);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  RECT work = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;

  window_ = ::CreateWindowExW(0, kClassName, content_.title.c_str(), style, x, y, width, height,
                              nullptr, nullptr, instance, this);
  if (window_ == nullptr) return 1;
  shown_at_ = ::GetTickCount64();
  if (content_.progress && content_.close_after_ms > 0) {
    ::SetTimer(window_, kTickTimer, kTickMs, nullptr);
  }
  if (content_.close_after_ms >= 0) {
    ::SetTimer(window_, kCloseTimer, static_cast<UINT>(content_.close_after_ms), nullptr);
  }
  ::ShowWindow(window_, show);
  ::UpdateWindow(window_);

  MSG message;
  int code = 0;
  for (;;) {
    const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) {
      code = static_cast<int>(message.wParam);
      break;
    }
    if (got == -1) {
      code = 1;
      break;
    }
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
  }
  return code;
}

LRESULT CALLBACK SampleWindow::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<SampleWindow*>(create->lpCreateParams);
    self->window_ = window;
    ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<SampleWindow*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return ::DefWindowProcW(window, message, wparam, lparam);
  return self->OnMessage(message, wparam, lparam);
}

LRESULT SampleWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = ::BeginPaint(window_, &paint);
      RECT client;
      ::GetClientRect(window_, &client);
      // Drawn off screen first, so the ticking progress bar does not flicker.
      {
        const cbase::ScopedCreatedDC memory(::CreateCompatibleDC(dc));
        const cbase::ScopedBitmap bitmap(::CreateCompatibleBitmap(dc, client.right, client.bottom));
        const cbase::ScopedSelectObject select_bitmap(memory.get(), bitmap.get());
        const cbase::ScopedSelectObject select_font(memory.get(),
                                                    ::GetStockObject(DEFAULT_GUI_FONT));
        Paint(memory.get(), client);
        ::BitBlt(dc, 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
      }
      ::EndPaint(window_, &paint);
      return 0;
    }
    case WM_TIMER:
      if (wparam == kTickTimer) {
        ::InvalidateRect(window_, nullptr, FALSE);
      } else if (wparam == kCloseTimer) {
        ::KillTimer(window_, kCloseTimer);
        ::PostMessageW(window_, WM_CLOSE, 0, 0);
      }
      return 0;
    case WM_DESTROY:
      ::KillTimer(window_, kTickTimer);
      ::KillTimer(window_, kCloseTimer);
      ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
      window_ = nullptr;
      ::PostQuitMessage(0);
      return 0;
    default:
      return ::DefWindowProcW(window_, message, wparam, lparam);
  }
}

void SampleWindow::Paint(HDC dc, const RECT& client) {
  Fill(dc, client, RGB(0xFF, 0xFF, 0xFF));
  ::SetBkMode(dc, TRANSPARENT);
  PaintHeader(dc, client);
  PaintBody(dc, client);
  if (content_.progress && content_.close_after_ms > 0) PaintProgress(dc, client);
}

void SampleWindow::PaintHeader(HDC dc, const RECT& client) {
  // A vertical gradient, one band of four rows at a time.
  constexpr int kBand = 4;
  for (int top = 0; top < kHeaderHeight; top += kBand) {
    const int step = top, steps = kHeaderHeight;
    const COLORREF color = RGB(Mix(GetRValue(kHeaderTop), GetRValue(kHeaderBottom), step, steps),
                               Mix(GetGValue(kHeaderTop), GetGValue(kHeaderBottom), step, steps),
                               Mix(GetBValue(kHeaderTop), GetBValue(kHeaderBottom), step, steps));
    Fill(dc, RECT{client.left, top, client.right, top + kBand}, color);
  }

  // The mark: a white disc with the initial in the header's colour.
  const RECT mark = {kMargin, 25, kMargin + 60, 85};
  {
    const cbase::ScopedBrush white(::CreateSolidBrush(RGB(0xFF, 0xFF, 0xFF)));
    const cbase::ScopedSelectObject select_brush(dc, white.get());
    const cbase::ScopedSelectObject select_pen(dc, ::GetStockObject(NULL_PEN));
    ::Ellipse(dc, mark.left, mark.top, mark.right + 1, mark.bottom + 1);
  }
  Text(dc, mark_font_.get(), kHeaderBottom, L"F", mark, DT_CENTER | DT_VCENTER);

  const int left = mark.right + 20;
  Text(dc, heading_font_.get(), RGB(0xFF, 0xFF, 0xFF), content_.heading,
       RECT{left, 18, client.right - kMargin, 66}, DT_LEFT | DT_BOTTOM | DT_END_ELLIPSIS);
  Text(dc, small_font_.get(), RGB(0xCF, 0xEB, 0xE6), content_.version,
       RECT{left, 68, client.right - kMargin, 90}, DT_LEFT | DT_TOP | DT_END_ELLIPSIS);
}

void SampleWindow::PaintBody(HDC dc, const RECT& client) {
  int top = kHeaderHeight + 24;
  for (size_t i = 0; i < content_.lines.size(); ++i) {
    const bool first = i == 0;
    const int height = first ? 30 : 24;
    Text(dc, first ? text_font_.get() : small_font_.get(), first ? kText : kQuietText,
         content_.lines[i], RECT{kMargin, top, client.right - kMargin, top + height},
         DT_LEFT | DT_VCENTER | DT_PATH_ELLIPSIS);
    top += height + (first ? 8 : 2);
  }
}

void SampleWindow::PaintProgress(HDC dc, const RECT& client) {
  const RECT track = {kMargin, client.bottom - 44, client.right - kMargin, client.bottom - 30};
  Fill(dc, track, kTrack);
  const int percent = ProgressPercent();
  RECT done = track;
  done.right = track.left + (track.right - track.left) * percent / 100;
  if (done.right > done.left) Fill(dc, done, kFill);
}

int SampleWindow::ProgressPercent() const {
  if (content_.close_after_ms <= 0) return 100;
  const ULONGLONG elapsed = ::GetTickCount64() - shown_at_;
  if (elapsed >= static_cast<ULONGLONG>(content_.close_after_ms)) return 100;
  return static_cast<int>(elapsed * 100 / static_cast<ULONGLONG>(content_.close_after_ms));
}
