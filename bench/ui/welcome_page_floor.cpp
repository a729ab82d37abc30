#include "bench/ui/welcome_page_floor.h"

#include <cwchar>
#include <utility>

namespace {

// One text of the welcome page: its box, how large, how heavy.
struct PageText {
  const wchar_t* text;
  int size;
  bool bold;
  RECT box;
};

// The welcome page's texts for the demo product, as the assistant's first
// frame draws them (the characters matter: each distinct glyph is read from
// the font file).
const PageText kPageTexts[] = {
    {WelcomePageFloor::kTitle, 18, true, {40, 228, 760, 254}},
    {L"\u4EA7\u54C1\u4ECB\u7ECD", 14, true, {40, 262, 760, 282}},
    {WelcomePageFloor::kIntroduction, 14, false, {40, 286, 760, 366}},
    {L"\u5B89\u88C5\u7248\u672C", 14, true, {40, 372, 760, 392}},
    {L"Fernwick \u5B98\u65B9\u4E2D\u6587\u7248", 12, false, {46, 396, 346, 414}},
    {L"\u5B89\u88C5\u4F4D\u7F6E", 14, true, {40, 424, 760, 444}},
    {L"\u9009\u62E9", 12, false, {700, 452, 760, 470}},
    {L"\u4E0B\u4E00\u6B65", 14, false, {360, 520, 440, 540}},
};

}  // namespace

const wchar_t WelcomePageFloor::kTitle[] = L"Fernwick \u5B98\u65B9\u6B63\u7248";
const wchar_t WelcomePageFloor::kIntroduction[] =
    L"Fernwick\u662F\u4E00\u6B3E\u8F7B\u5FEB\u3001\u5B89\u5168\u7684\u684C\u9762\u77E5"
    L"\u8BC6\u7BA1\u7406\u5DE5\u5177\u3002\u5B83\u628A\u7B14\u8BB0\u3001\u5F85\u529E\u4E0E"
    L"\u6587\u6863\u6574\u7406\u5728\u540C\u4E00\u4E2A\u5DE5\u4F5C\u533A\u91CC\uFF0C\u652F"
    L"\u6301\u5168\u6587\u68C0\u7D22\u3001\u79BB\u7EBF\u4F7F\u7528\u4E0E\u591A\u8BBE\u5907"
    L"\u540C\u6B65\uFF0C\u8BA9\u7075\u611F\u968F\u624B\u8BB0\u4E0B\u3001\u8D44\u6599\u4E95"
    L"\u4E95\u6709\u6761\u3002\u4E13\u4E3A\u4E2D\u6587\u7528\u6237\u6253\u78E8\uFF0C\u542F"
    L"\u52A8\u8FC5\u901F\u3001\u5360\u7528\u5C0F\u5DE7\uFF0C\u5B89\u88C5\u5373\u7528\uFF0C"
    L"\u7EC8\u8EAB\u514D\u8D39\u66F4\u65B0\u3002";
const wchar_t WelcomePageFloor::kLocation[] = L"C:\\Program Files\\Fernwick";

WelcomePageFloor::WelcomePageFloor()
    : picture_(std::make_unique<Gdiplus::Bitmap>(800, 208, PixelFormat32bppPARGB)) {
  Gdiplus::Rect whole(0, 0, 800, 208);
  Gdiplus::BitmapData data = {};
  if (picture_->LockBits(&whole, Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, &data) ==
      Gdiplus::Ok) {
    for (UINT y = 0; y < data.Height; ++y) {
      auto* row = reinterpret_cast<DWORD*>(static_cast<BYTE*>(data.Scan0) + y * data.Stride);
      for (UINT x = 0; x < data.Width; ++x) row[x] = 0xFF000000u | (x * 255 / 800) << 8 | y;
    }
    picture_->UnlockBits(&data);
  }
  for (const PageText& page_text : kPageTexts) {
    FloorText text{page_text.text, {}, page_text.box, page_text.text != kIntroduction, 0xFE1F2329};
    text.font.lfHeight = -page_text.size;
    text.font.lfWeight = page_text.bold ? FW_BOLD : FW_NORMAL;
    text.font.lfCharSet = DEFAULT_CHARSET;
    wcscpy_s(text.font.lfFaceName, L"\u5FAE\u8F6F\u96C5\u9ED1");  // the assistant's face
    texts_.push_back(std::move(text));
  }
  // The rich edit library the location field's text services come from; the
  // field's own text services are the window's work.
  rich_edit_ = ::LoadLibraryW(L"msftedit.dll");
}

WelcomePageFloor::~WelcomePageFloor() {
  if (rich_edit_ != nullptr) ::FreeLibrary(rich_edit_);
}

void WelcomePageFloor::Paint(HDC dc) const {
  {
    Gdiplus::Graphics graphics(dc);
    graphics.DrawImage(picture_.get(), 0, 0);
  }
  DrawFloorTexts(dc, texts_);
}
