// Cost of composing one representative 800 x 600 frame of the assistant's
// main window into a render context under Wine, against the floor of a plain
// BitBlt of a prepared 800 x 600 bitmap measured in the same run.
//
//   frame_bench [frames=200] [rounds=7] [--save Z:/tmp/frame.png] [--detail]
//               [--cpu]
//
// The frame: the window's nine-grid shadow (the bands the client's opaque
// background leaves, as the window draws it), the white client, the 800 x 208
// header picture, close button, logo and tutorial images, rounded boxes and
// buttons, a progress bar (rounded rail and fill), and 20 labels of Chinese
// and Latin text in the skin's fonts. The skin images come from the theme folder
// copied next to the program (frame_bench_skin/). Every figure is the median
// of the rounds; rounds alternate between the frame and the floor. A
// per-layer breakdown says where the time goes.
//
// Labels keep their drawn text between frames, so the composed frame is what
// a repaint costs; the first frame, whose every text is laid out afresh, is
// given beside it.
#include <windows.h>

#include <gdiplus.h>
#include <objidl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/core/global_manager.h"
#include "ui/core/skin_image.h"
#include "ui/render/image_attribute.h"
#include "ui/render/render_context_gdiplus.h"
#include "ui/render/text_image.h"

namespace {

using ui::ImageAttribute;
using ui::ImagePlacement;
using ui::IRenderContext;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Wall time, or with --cpu the CPU time of this thread: on a machine shared
// with other busy processes the wall clock mostly measures the others.
bool g_cpu_time = false;

double NowMs() {
  if (g_cpu_time) {
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ticks = [](const FILETIME& t) {
      return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100 ns units
  }
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER now;
  ::QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::wstring ProgramFolder() {
  wchar_t module[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, module, MAX_PATH);
  std::wstring folder(module);
  folder.erase(folder.find_last_of(L'\\') + 1);
  return folder;
}

// Milliseconds per call of |work|, over |frames| calls.
double Time(int frames, const std::function<void()>& work) {
  const double start = NowMs();
  for (int i = 0; i < frames; ++i) work();
  return (NowMs() - start) / frames;
}

struct Label {
  RECT rc;
  const wchar_t* text;
  const wchar_t* font;
  ui::ARGB color;
  UINT format;
};

// The welcome page with the download overlay's progress bar, laid out as the
// skin lays it out.
class Frame {
 public:
  Frame() {
    shadow_.SetImageString(L"file='../public/bk/bk_shadow.png' corner='30,30,30,30'");
    header_.SetImageString(L"../images/header.png");
    close_.SetImageString(L"../images/close_normal.png");
    logo_.SetImageString(L"../images/logo.png");
    tutorial_.SetImageString(L"../images/tutorial.png");
    const UINT one_line = DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOCLIP;
    const UINT centred = one_line | DT_CENTER | DT_VCENTER;
    labels_ = {
        // Left column: product name under the logo, contact card, tutorial.
        {{30, 392, 220, 420}, L"Fernwick", L"system_bold_18", 0xFF1F2329, one_line | DT_CENTER},
        {{30, 422, 220, 440},
         L"\x5B98\x65B9\x6B63\x7248 \x00B7 Official",
         L"system_12",
         0xFF86909C,
         one_line | DT_CENTER},
        {{40, 460, 210, 480}, L"\x8054\x7CFB\x5BA2\x670D", L"system_bold_14", 0xFF8A5A1C, centred},
        {{40, 482, 210, 500}, L"QQ 123456789", L"system_12", 0xFF1F6FEB, centred},
        {{74, 528, 220, 548}, L"\x5B89\x88C5\x6559\x7A0B", L"system_bold_16", 0xFF1F2329, one_line},
        {{74, 550, 220, 568},
         L"\x67E5\x770B Fernwick \x5B89\x88C5\x6559\x7A0B",
         L"system_12",
         0xFF86909C,
         one_line},
        {{30, 576, 220, 594}, L"\x00A9 2024 Fernwick", L"system_12", 0xFFB4BAC2, one_line},
        // Right column: introduction, edition, location, the button.
        {{236, 220, 776, 240},
         L"\x8F6F\x4EF6\x7B80\x4ECB",
         L"system_bold_14",
         0xFF1F2329,
         one_line},
        {{236, 244, 776, 300},
         L"Fernwick \x662F\x4E00\x6B3E\x8F7B\x5DE7\x7684\x684C\x9762\x5DE5\x5177\xFF0C"
         L"\x5E2E\x52A9\x4F60\x6574\x7406\x6587\x4EF6\x3001\x7BA1\x7406\x9879\x76EE\x3002"
         L" Fast, light and friendly; keeps your files in order.",
         L"system_14",
         0xFF4E5969,
         DT_END_ELLIPSIS},
        {{236, 306, 776, 326}, L"\x7248\x672C", L"system_bold_14", 0xFF1F2329, one_line},
        {{242, 330, 636, 360},
         L"Fernwick \x5B98\x65B9\x4E2D\x6587\x7248",
         L"system_12",
         0xFF4E5969,
         one_line | DT_VCENTER},
        {{236, 368, 776, 388},
         L"\x5B89\x88C5\x4F4D\x7F6E",
         L"system_bold_14",
         0xFF1F2329,
         one_line},
        {{242, 392, 570, 422},
         L"C:\\Users\\Public\\AppData\\Local\\Fernwick\\Downloader",
         L"system_12",
         0xFF4E5969,
         one_line | DT_VCENTER},
        {{576, 396, 632, 418}, L"\x9009\x62E9", L"system_12", 0xFF1F2329, centred},
        {{236, 436, 536, 484}, L"\x4E0B\x4E00\x6B65", L"system_bold_16", 0xFFFFFFFF, centred},
        {{236, 490, 776, 508},
         L"\x70B9\x51FB\x4E0B\x4E00\x6B65\x5373\x8868\x793A\x540C\x610F License Agreement",
         L"system_12",
         0xFF86909C,
         one_line},
        // The download overlay's progress.
        {{236, 520, 636, 540},
         L"\x6B63\x5728\x4E0B\x8F7D Fernwick\x2026",
         L"system_14",
         0xFF1F2329,
         one_line},
        {{236, 560, 636, 578},
         L"45%  12.4 MB / 27.5 MB",
         L"system_12",
         0xFF86909C,
         one_line | DT_RIGHT},
        // Over the header picture.
        {{24, 176, 400, 204},
         L"\x6B22\x8FCE\x5B89\x88C5 \x00B7 Welcome",
         L"system_bold_18",
         0xE6FFFFFF,
         one_line},
        {{700, 576, 790, 594}, L"v1.0.3", L"system_12", 0xFFB4BAC2, one_line | DT_RIGHT},
    };
    text_images_ = std::vector<ui::TextImage>(labels_.size());
  }

  ImagePlacement Place(const RECT& control, const RECT& paint) const {
    ImagePlacement placement;
    placement.control_rect = control;
    placement.paint_rect = paint;
    placement.resource_folder = L"basic\\";
    return placement;
  }

  void Images(IRenderContext* context) {
    const RECT all = {0, 0, 800, 600};
    ui::DrawImage(context, header_, Place(RECT{0, 0, 800, 208}, all));
    ui::DrawImage(context, close_, Place(RECT{764, 12, 788, 36}, all));
    ui::DrawImage(context, logo_, Place(RECT{45, 228, 205, 388}, all));
    ui::DrawImage(context, tutorial_, Place(RECT{36, 534, 64, 562}, all));
  }

  // The window's drawn shadow, as the window's shadow box draws it: only the
  // bands around the client's opaque background, which hides the rest.
  void Shadow(IRenderContext* context) {
    const RECT all = {0, 0, 800, 600};
    const RECT covered = {30, 30, 770, 570};
    const RECT bands[] = {
        {0, 0, 800, covered.top},
        {0, covered.bottom, 800, 600},
        {0, covered.top, covered.left, covered.bottom},
        {covered.right, covered.top, 800, covered.bottom},
    };
    for (const RECT& band : bands) {
      ui::AutoClip clip(context, band);
      ui::DrawImage(context, shadow_, Place(all, band));
    }
  }
  // The whole nine-grid, middle and all.
  void WholeShadow(IRenderContext* context) {
    const RECT all = {0, 0, 800, 600};
    ui::DrawImage(context, shadow_, Place(all, all));
  }
  void BackgroundColour(IRenderContext* context) {
    context->DrawColor(RECT{0, 208, 800, 600}, 0xFFFFFFFF);
  }
  void Background(IRenderContext* context) {
    Shadow(context);
    BackgroundColour(context);
  }

  void Shapes(IRenderContext* context) {
    // Boxes with 1-pixel rounded borders, buttons, the contact card.
    context->DrawRoundRect(RECT{236, 330, 636, 360}, SIZE{6, 6}, 1, 0xFFE3E7EC);
    context->DrawRoundRect(RECT{236, 392, 636, 422}, SIZE{6, 6}, 1, 0xFFE3E7EC);
    context->FillRoundRect(RECT{576, 396, 632, 418}, SIZE{6, 6}, 0xFFEEF1F4);
    context->FillRoundRect(RECT{236, 436, 536, 484}, SIZE{48, 48}, 0xFF14A37A);
    context->FillRoundRect(RECT{236, 436, 536, 484}, SIZE{48, 48}, 0x1F000000);  // hot layer
    context->FillRoundRect(RECT{30, 452, 220, 508}, SIZE{12, 12}, 0xFFFFF6E0);
    context->FillRoundRect(RECT{30, 520, 220, 572}, SIZE{20, 20}, 0xFFF2F4F7, 200);
    // The progress bar: rail and fill.
    context->FillRoundRect(RECT{236, 546, 636, 556}, SIZE{10, 10}, 0xFFE3E7EC);
    context->FillRoundRect(RECT{236, 546, 416, 556}, SIZE{10, 10}, 0xFF14A37A);
  }

  // As labels draw their text: kept from one frame to the next.
  void Texts(IRenderContext* context) {
    for (size_t i = 0; i < labels_.size(); ++i) DrawLabel(context, i, true);
  }
  // Every text laid out and drawn afresh, as in a window's first frame.
  void TextsInPlace(IRenderContext* context) {
    for (size_t i = 0; i < labels_.size(); ++i) DrawLabel(context, i, false);
  }

  // Milliseconds per label, each drawn |frames| times in place and kept.
  void LabelDetail(IRenderContext* context, int frames) {
    std::printf("    in place      kept\n");
    for (size_t i = 0; i < labels_.size(); ++i) {
      const Label& label = labels_[i];
      const double in_place = Time(frames, [&] { DrawLabel(context, i, false); });
      const double kept = Time(frames, [&] { DrawLabel(context, i, true); });
      std::printf("    %7.3f ms  %7.3f ms  %-15ls %2zu characters in %ldx%ld\n", in_place, kept,
                  label.font, std::wcslen(label.text), label.rc.right - label.rc.left,
                  label.rc.bottom - label.rc.top);
    }
  }

  // In the order a window paints its controls.
  void Compose(IRenderContext* context) {
    context->Clear();
    Background(context);
    Images(context);
    Shapes(context);
    Texts(context);
  }
  void ComposeFirst(IRenderContext* context) {
    context->Clear();
    Background(context);
    Images(context);
    Shapes(context);
    TextsInPlace(context);
  }

  bool Loaded() const { return shadow_.image && header_.image && close_.image && logo_.image; }

 private:
  void DrawLabel(IRenderContext* context, size_t i, bool kept) {
    const Label& label = labels_[i];
    const HFONT font = ui::GlobalManager::GetFont(label.font);
    if (kept) {
      context->DrawKeptText(label.rc, label.text, label.color, font, label.format, false,
                            &text_images_[i]);
    } else {
      context->DrawText(label.rc, label.text, label.color, font, label.format);
    }
  }

  ImageAttribute shadow_, header_, close_, logo_, tutorial_;
  std::vector<Label> labels_;
  std::vector<ui::TextImage> text_images_;
};

bool SavePng(IRenderContext* context, const wchar_t* path) {
  UINT count = 0, size = 0;
  Gdiplus::GetImageEncodersSize(&count, &size);
  std::vector<BYTE> buffer(size);
  auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  Gdiplus::GetImageEncoders(count, size, encoders);
  for (UINT i = 0; i < count; ++i) {
    if (std::wcscmp(encoders[i].MimeType, L"image/png") != 0) continue;
    // The pixels are premultiplied ARGB, top-down.
    Gdiplus::Bitmap bitmap(context->GetWidth(), context->GetHeight(), context->GetWidth() * 4,
                           PixelFormat32bppPARGB, context->GetBits());
    return bitmap.Save(path, &encoders[i].Clsid, nullptr) == Gdiplus::Ok;
  }
  return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int frames = 200;
  int rounds = 7;
  const wchar_t* save = nullptr;
  bool detail = false;
  int positional = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::wcscmp(argv[i], L"--save") == 0 && i + 1 < argc) {
      save = argv[++i];
    } else if (std::wcscmp(argv[i], L"--detail") == 0) {
      detail = true;
    } else if (std::wcscmp(argv[i], L"--cpu") == 0) {
      g_cpu_time = true;
    } else if (positional++ == 0) {
      frames = std::max(1, _wtoi(argv[i]));
    } else {
      rounds = std::max(1, _wtoi(argv[i]));
    }
  }

  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) {
    std::fprintf(stderr, "GDI+ did not start\n");
    return 1;
  }
  int exit_code = 0;
  {
    ui::GlobalManager::SetResourcePath(ProgramFolder() + L"frame_bench_skin");
    for (int size : {12, 14, 16}) {
      ui::GlobalManager::AddFont(L"system_" + std::to_wstring(size), L"system", size, false, false,
                                 false, false, size == 12);
    }
    for (int size : {14, 16, 18, 22}) {
      ui::GlobalManager::AddFont(L"system_bold_" + std::to_wstring(size), L"system", size, true,
                                 false, false, false, false);
    }

    ui::RenderContext_GdiPlus context;
    context.Resize(800, 600);
    Frame frame;
    frame.Compose(&context);  // loads the images
    if (!frame.Loaded()) {
      std::fprintf(stderr, "skin images missing under frame_bench_skin\n");
      exit_code = 1;
    } else {
      if (save) {
        std::printf("frame saved: %s\n", SavePng(&context, save) ? "yes" : "FAILED");
      }
      // The floor: the window host's cheapest possible paint, one BitBlt of a
      // finished frame.
      std::unique_ptr<IRenderContext> prepared = context.Clone();
      ui::RenderContext_GdiPlus target;
      target.Resize(800, 600);

      std::vector<double> compose, first, floor, background, images, shapes, texts;
      for (int round = 0; round < rounds; ++round) {
        compose.push_back(Time(frames, [&] { frame.Compose(&context); }));
        first.push_back(Time(frames, [&] { frame.ComposeFirst(&context); }));
        // The floor is a hundred times cheaper: more of it keeps the clock's
        // resolution out of the figure.
        floor.push_back(Time(
            frames * 20, [&] { target.BitBlt(0, 0, 800, 600, prepared.get(), 0, 0, SRCCOPY); }));
        background.push_back(Time(frames, [&] { frame.Background(&context); }));
        images.push_back(Time(frames, [&] { frame.Images(&context); }));
        shapes.push_back(Time(frames, [&] { frame.Shapes(&context); }));
        texts.push_back(Time(frames, [&] { frame.Texts(&context); }));
      }
      const double frame_ms = Median(compose);
      const double floor_ms = Median(floor);
      std::printf("800x600 frame, %d frames x %d rounds (medians, %s time)\n", frames, rounds,
                  g_cpu_time ? "thread CPU" : "wall");
      std::printf("  composed frame   %8.3f ms/frame  (%.0f frames/s)\n", frame_ms,
                  1000.0 / frame_ms);
      std::printf("  BitBlt floor     %8.3f ms/frame\n", floor_ms);
      std::printf("  ratio            %8.1f x the floor\n", frame_ms / floor_ms);
      std::printf("  first frame      %8.3f ms/frame  (every text laid out afresh)\n",
                  Median(first));
      std::printf(
          "  where it goes:   shadow + background %.3f ms, 4 images %.3f ms,\n"
          "                   9 rounded shapes %.3f ms, 20 labels (kept) %.3f ms\n",
          Median(background), Median(images), Median(shapes), Median(texts));
      std::printf("  target < 8 ms:   %s\n", frame_ms < 8.0 ? "met" : "MISSED");
      if (detail) {
        std::printf("  shadow bands around the client:  %.3f ms\n",
                    Time(frames, [&] { frame.Shadow(&context); }));
        std::printf("  whole nine-grid over 800x600:    %.3f ms\n",
                    Time(frames, [&] { frame.WholeShadow(&context); }));
        std::printf("  background colour (800x392):     %.3f ms\n",
                    Time(frames, [&] { frame.BackgroundColour(&context); }));
        std::printf("  labels one by one:\n");
        frame.LabelDetail(&context, frames);
      }
    }
    ui::GlobalManager::RemoveAllFonts();
  }
  Gdiplus::GdiplusShutdown(token);
  return exit_code;
}
