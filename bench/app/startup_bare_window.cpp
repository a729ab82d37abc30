// The floor of the assistant's start-up benchmark: a process that shows a
// bare 800 x 600 layered window named "Bare", centred on the screen like the
// assistant's, with one white frame, and waits. A click into it or a WM_CLOSE
// ends the process with exit code 0; so does a minute without either, so that
// a benchmark that lost it leaves no window behind.
//
//   startup_bare_window.exe [--gdiplus IMAGE]
//
// With --gdiplus the first frame also shows what GDI+ costs a first frame
// under this system: GDI+ started, IMAGE (a PNG) decoded from memory as the
// assistant decodes its skin images, drawn at the top, and one line of
// Chinese text in the assistant's face drawn below it.
#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>
#include <shellapi.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/ui/bare_layered_window.h"

namespace {

// The PNG at |path| decoded from memory through a stream (nullptr when it
// cannot be read or decoded).
std::unique_ptr<Gdiplus::Bitmap> DecodeFromMemory(const std::wstring& path) {
  std::ifstream file(path.c_str(), std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  if (bytes.empty()) return nullptr;
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, bytes.size());
  if (block == nullptr) return nullptr;
  std::memcpy(::GlobalLock(block), bytes.data(), bytes.size());
  ::GlobalUnlock(block);
  IStream* stream = nullptr;
  if (FAILED(::CreateStreamOnHGlobal(block, TRUE, &stream))) {
    ::GlobalFree(block);
    return nullptr;
  }
  auto bitmap = std::make_unique<Gdiplus::Bitmap>(stream);
  stream->Release();
  if (bitmap->GetLastStatus() != Gdiplus::Ok) return nullptr;
  return bitmap;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const int width = 800;
  const int height = 600;
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  const bool gdiplus = argc >= 3 && std::wstring(argv[1]) == L"--gdiplus";
  const std::wstring image_path = gdiplus ? argv[2] : L"";
  ::LocalFree(argv);

  ULONG_PTR token = 0;
  std::unique_ptr<Gdiplus::Bitmap> image;
  BareLayeredWindow::Painter paint;
  if (gdiplus) {
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    image = DecodeFromMemory(image_path);
    paint = [&image](HDC dc) {
      Gdiplus::Graphics graphics(dc);
      if (image) graphics.DrawImage(image.get(), 0, 0);
      LOGFONTW logfont = {};
      logfont.lfHeight = -18;
      logfont.lfCharSet = DEFAULT_CHARSET;
      wcscpy_s(logfont.lfFaceName, L"\u5FAE\u8F6F\u96C5\u9ED1");  // the assistant's face
      HFONT font = ::CreateFontIndirectW(&logfont);
      Gdiplus::Font text_font(dc, font);
      Gdiplus::SolidBrush brush(Gdiplus::Color(254, 31, 35, 41));
      const wchar_t text[] = L"Fernwick \u5B98\u65B9\u6B63\u7248";  // 官方正版
      graphics.DrawString(text, -1, &text_font, Gdiplus::PointF(40, 420), &brush);
      ::DeleteObject(font);
    };
  }
  BareLayeredWindow::Register();
  BareLayeredWindow window((::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                           (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, L"Bare",
                           paint);
  const UINT_PTR give_up = ::SetTimer(nullptr, 0, 60 * 1000, nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_LBUTTONDOWN || msg.message == WM_CLOSE) break;
    if (msg.message == WM_TIMER && msg.wParam == give_up) break;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  ::KillTimer(nullptr, give_up);
  if (gdiplus) {
    image.reset();
    Gdiplus::GdiplusShutdown(token);
  }
  return 0;
}
